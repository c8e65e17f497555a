#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <limits>

#include "core/language/ui_text_ids.h"
#include "ui/preferences/preferences_pages.h"

namespace kov {

namespace {

class NewUrlPage : public PreferencesPage {
public:
    explicit NewUrlPage(const NewUrlDefaults& d) {
        auto* form = new QFormLayout(this);
        m_name = AddLine(form, "Name", kGuiURLName, d.Name, 126);
        m_referer = AddLine(form, "Referer", kGuiPrefReferer, d.Referer, 126);
        m_dir = AddLine(form, "LocalDir", kGuiURLSaveTo, d.LocalDir, 258);
        m_cmd = AddLine(form, "Cmd", kGuiURLAfterDlrun, d.Cmd, 258);
        m_queue = AddCheck(form, "PutNewToQueue", kGuiDefAddUrlToQueue, d.PutNewToQueue);
        m_parse = AddCheck(form, "ParseUrl", kGuiDefTryParseUrl, d.ParseUrl);
        m_banners = AddCheck(form, "RipBanners", kGuiPrefRipBanners, d.RipBanners);
        m_links = AddCheck(form, "WithLinks", kGuiPrefNestedLinks, d.WithLinks);
        m_pics = AddCheck(form, "WithPics", kGuiURLFullSnapShot, d.WithPics);
        m_disabled = AddCheck(form, "Disabled", kGuiURLDisable, d.Disabled);
        // -1 is "once only".
        m_interval = AddSpin(form, "interval", kGuiURLOncePer, -1, 365, d.interval);
        m_days = AddSpin(form, "days", kGuiURLDaysBack, 0, 365, d.days);
        m_shift = AddSpin(form, "dayShift", kGuiURLShiftDays, -365, 365, d.dayShift);
        m_stop = AddSpin(form, "StopNumber", kGuiURLEndNum, 0,
                         std::numeric_limits<std::int32_t>::max() - 1, d.StopNumber);
        m_tolerance = AddSpin(form, "Tolerance", kGuiURLTolerance, 0, 1000, d.Tolerance);
        m_nfsize = AddSpin(form, "nfsize", kGuiURLDocNotFoundSize, 0, 500000, d.nfsize);
        m_nfString = AddLine(form, "nfString", kGuiURLDocNotFoundString, d.nfString, 127);
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
