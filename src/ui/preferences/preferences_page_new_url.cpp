#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>

#include "core/language/ui_text_ids.h"
#include "ui/preferences/preferences_pages.h"

namespace kov {

namespace {

class NewUrlPage : public PreferencesPage {
public:
    explicit NewUrlPage(const NewUrlDefaults& d) {
        auto* form = new QFormLayout(this);
        m_name = AddSettingLine(form, kNewUrlSection, "Name", kGuiURLName, d.Name);
        m_referer = AddSettingLine(form, kNewUrlSection, "Referer", kGuiPrefReferer, d.Referer);
        m_dir = AddSettingLine(form, kNewUrlSection, "LocalDir", kGuiURLSaveTo, d.LocalDir);
        m_cmd = AddSettingLine(form, kNewUrlSection, "Cmd", kGuiURLAfterDlrun, d.Cmd);
        m_queue = AddCheck(form, "PutNewToQueue", kGuiDefAddUrlToQueue, d.PutNewToQueue);
        m_parse = AddCheck(form, "ParseUrl", kGuiDefTryParseUrl, d.ParseUrl);
        m_banners = AddCheck(form, "RipBanners", kGuiPrefRipBanners, d.RipBanners);
        m_links = AddCheck(form, "WithLinks", kGuiPrefNestedLinks, d.WithLinks);
        m_pics = AddCheck(form, "WithPics", kGuiURLFullSnapShot, d.WithPics);
        m_disabled = AddCheck(form, "Disabled", kGuiURLDisable, d.Disabled);
        // -1 is "once only".
        m_interval = AddSpin(form, kNewUrlSection, "interval", kGuiURLOncePer, d.interval);
        m_days = AddSpin(form, kNewUrlSection, "days", kGuiURLDaysBack, d.days);
        m_shift = AddSpin(form, kNewUrlSection, "dayShift", kGuiURLShiftDays, d.dayShift);
        m_stop = AddSpin(form, kNewUrlSection, "StopNumber", kGuiURLEndNum, d.StopNumber);
        m_tolerance = AddSpin(form, kNewUrlSection, "Tolerance", kGuiURLTolerance, d.Tolerance);
        m_nfsize = AddSpin(form, kNewUrlSection, "nfsize", kGuiURLDocNotFoundSize, d.nfsize);
        m_nfString =
            AddSettingLine(form, kNewUrlSection, "nfString", kGuiURLDocNotFoundString, d.nfString);
        m_mode = AddChoice(form, "UpdateMode", kGuiURLUpdateMode,
                           {kGuiURLUpdate1, kGuiURLUpdate2, kGuiURLUpdate3}, d.UpdateMode);
    }

    void Store(PreferencesData& data) override {
        NewUrlDefaults& d = data.settings.newUrl;
        d.Name = TextOf(m_name);
        d.Referer = TextOf(m_referer);
        d.LocalDir = TextOf(m_dir);
        d.Cmd = TextOf(m_cmd);
        d.PutNewToQueue = IsOn(m_queue);
        d.ParseUrl = IsOn(m_parse);
        d.RipBanners = IsOn(m_banners);
        d.WithLinks = IsOn(m_links);
        d.WithPics = IsOn(m_pics);
        d.Disabled = IsOn(m_disabled);
        d.interval = IntOf(m_interval);
        d.days = IntOf(m_days);
        d.dayShift = IntOf(m_shift);
        d.StopNumber = IntOf(m_stop);
        d.Tolerance = IntOf(m_tolerance);
        d.nfsize = IntOf(m_nfsize);
        d.nfString = TextOf(m_nfString);
        d.UpdateMode = m_mode->currentIndex();
    }

private:
    QLineEdit *m_name, *m_referer, *m_dir, *m_cmd, *m_nfString;
    QCheckBox *m_queue, *m_parse, *m_banners, *m_links, *m_pics, *m_disabled;
    QSpinBox *m_interval, *m_days, *m_shift, *m_stop, *m_tolerance, *m_nfsize;
    QComboBox* m_mode;
};

}  // namespace

PreferencesPage* MakeNewUrlPage(const PreferencesData& data) {
    return new NewUrlPage(data.settings.newUrl);
}

}  // namespace kov
