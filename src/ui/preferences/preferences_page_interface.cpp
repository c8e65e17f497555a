#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "core/language/localiser.h"
#include "core/language/ui_text_ids.h"
#include "ui/app/ui_text.h"
#include "ui/preferences/preferences_pages.h"

namespace kov {

namespace {

class InterfacePage : public PreferencesPage {
public:
    InterfacePage(const PreferencesData& data, const PreferencesContext& context)
        : m_choices(context.languageChoices) {
        const AppSettings& s = data.settings;
        auto* form = new QFormLayout(this);
        m_language = new QComboBox;
        m_language->setObjectName("Language");
        for (const std::string& name : m_choices)
            m_language->addItem(QString::fromStdString(name));
        m_language->setCurrentIndex(SelectLanguageChoice(m_choices, s.Language));
        form->addRow(UiText(kGuiLanguage, ""), m_language);
        // Log lines are made on other threads from the loaded texts, so they are not swapped
        // under a running program.
        auto* note = new QLabel(UiText(kGuiPrefLanguageNote, ""));
        note->setWordWrap(true);
        form->addRow(QString(), note);
        m_minToTray = AddCheck(form, "MinToTray", kGuiMinToTray, s.MinToTray);
        m_transparency =
            AddSpin(form, kMainSection, "Transparency", kGuiTransparency, s.Transparency);
        m_topmost = AddCheck(form, "WndTopmost", kGuiWndIsTopmost, s.WndTopmost);
        m_lists = AddCheck(form, "ShowPaneLists", kGuiShowPaneLists, s.ShowPaneLists);
        m_updDays =
            AddSpin(form, kMainSection, "ChkUpdInterval", kGuiChkUpdateInterval, s.ChkUpdInterval);
        m_updUrl = AddSettingLine(form, kMainSection, "UpdateUrl", kGuiPrefUpdateUrl, s.UpdateUrl);
    }

    void Store(PreferencesData& data) override {
        AppSettings& s = data.settings;
        const int choice = m_language->currentIndex();
        // The first entry follows the user's locale; the others name their file.
        const std::string language =
            choice <= 0 || choice >= static_cast<int>(m_choices.size()) ? "0" : m_choices[choice];
        // An unchanged choice keeps the setting as written (an index stays an index).
        if (SelectLanguageChoice(m_choices, s.Language) != choice) s.Language = language;
        s.MinToTray = IsOn(m_minToTray);
        s.Transparency = IntOf(m_transparency);
        s.WndTopmost = IsOn(m_topmost);
        s.ShowPaneLists = IsOn(m_lists);
        s.ChkUpdInterval = IntOf(m_updDays);
        s.UpdateUrl = TextOf(m_updUrl);
    }

private:
    std::vector<std::string> m_choices;
    QComboBox* m_language;
    QCheckBox* m_minToTray;
    QSpinBox* m_transparency;
    QCheckBox* m_topmost;
    QCheckBox* m_lists;
    QSpinBox* m_updDays;
    QLineEdit* m_updUrl;
};

}  // namespace

PreferencesPage* MakeInterfacePage(const PreferencesData& data, const PreferencesContext& context) {
    return new InterfacePage(data, context);
}

}  // namespace kov
