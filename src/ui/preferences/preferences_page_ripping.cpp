#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <array>

#include "core/language/ui_text_ids.h"
#include "ui/app/ui_text.h"
#include "ui/preferences/preferences_pages.h"

namespace kov {

namespace {

// The kinds of embedded objects, bit 0 upwards.
constexpr std::array<int, 8> kKindTexts = {kGuiDlFrames,   kGuiDLJavaScript, kGuiDLCSSmodules,
                                           kGuiDlGraphics, kGuiDlFlash,      kGuiDlJavaApplets,
                                           kGuiDlSound,    kGuiDlVideo};

class RippingPage : public PreferencesPage {
public:
    explicit RippingPage(const AppSettings& s) {
        auto* column = new QVBoxLayout(this);
        auto* grid = new QGridLayout;
        grid->addWidget(
            new QLabel(QStringLiteral("<b>%1</b>").arg(UiText(kGuiDnProfilesTitle, ""))), 0, 0);
        grid->addWidget(new QLabel(UiText(kGuiProfileNormal, "")), 0, 1);
        grid->addWidget(new QLabel(UiText(kGuiProfileFull, "")), 0, 2);
        for (std::size_t bit = 0; bit < kKindTexts.size(); ++bit) {
            const int row = static_cast<int>(bit) + 1;
            grid->addWidget(new QLabel(UiText(kKindTexts[bit], "")), row, 0);
            m_normal[bit] = new QCheckBox;
            m_normal[bit]->setObjectName(QStringLiteral("DownloadFlags%1").arg(bit));
            m_normal[bit]->setChecked(s.DownloadFlags & (1u << bit));
            m_full[bit] = new QCheckBox;
            m_full[bit]->setObjectName(QStringLiteral("DownloadFlagsFull%1").arg(bit));
            m_full[bit]->setChecked(s.DownloadFlagsFull & (1u << bit));
            grid->addWidget(m_normal[bit], row, 1);
            grid->addWidget(m_full[bit], row, 2);
        }
        column->addLayout(grid);
        column->addWidget(
            new QLabel(QStringLiteral("<b>%1</b>").arg(UiText(kGuiAdvancedParams, ""))));
        auto* form = new QFormLayout;
        column->addLayout(form);
        m_detect = AddCheck(form, "DetectUrlTypes", kGuiDetectUrlTypes, s.DetectUrlTypes);
        m_original =
            AddCheck(form, "SaveOriginalNames", kGuiSaveOriginalNames, s.SaveOriginalNames);
        m_docText = AddCheck(form, "DocModeFlags", kGuiDOCmodeTXTOnly, s.DocModeFlags);
        m_nested = AddCheck(form, "FileSubFolders", kGuiFileSubFolders, s.FileSubFolders);
        m_modern = AddCheck(form, "ModernHtml", kGuiPrefModernHtml, s.ModernHtml);
        m_masks =
            AddSettingLine(form, kMainSection, "SrFileMasks", kGuiTextFileMasks, s.SrFileMasks);
        column->addStretch(1);
    }

    void Store(PreferencesData& data) override {
        AppSettings& s = data.settings;
        // Bits above the eight shown keep what they were.
        std::uint16_t normal = s.DownloadFlags & 0xFF00u;
        std::uint16_t full = s.DownloadFlagsFull & 0xFF00u;
        for (std::size_t bit = 0; bit < kKindTexts.size(); ++bit) {
            if (m_normal[bit]->isChecked()) normal |= static_cast<std::uint16_t>(1u << bit);
            if (m_full[bit]->isChecked()) full |= static_cast<std::uint16_t>(1u << bit);
        }
        s.DownloadFlags = normal;
        s.DownloadFlagsFull = full;
        s.DetectUrlTypes = IsOn(m_detect);
        s.SaveOriginalNames = IsOn(m_original);
        s.DocModeFlags = IsOn(m_docText);
        s.FileSubFolders = IsOn(m_nested);
        s.ModernHtml = IsOn(m_modern);
        s.SrFileMasks = TextOf(m_masks);
    }

private:
    std::array<QCheckBox*, 8> m_normal{};
    std::array<QCheckBox*, 8> m_full{};
    QCheckBox *m_detect, *m_original, *m_docText, *m_nested, *m_modern;
    QLineEdit* m_masks;
};

class SoundsPage : public PreferencesPage {
public:
    explicit SoundsPage(const AppSettings& s) {
        auto* form = new QFormLayout(this);
        m_use = AddCheck(form, "UseSound", kGuiUseSounds, s.UseSound);
        m_start = AddFileLine(form, kMainSection, "SoundStart", kGuiSoundStart, s.SoundStart);
        m_end = AddFileLine(form, kMainSection, "SoundEnd", kGuiSoundEnd, s.SoundEnd);
        m_err1 = AddFileLine(form, kMainSection, "SoundErr1", kGuiSoundErrConnect, s.SoundErr1);
        m_err2 = AddFileLine(form, kMainSection, "SoundErr2", kGuiSoundErrFile, s.SoundErr2);
    }

    void Store(PreferencesData& data) override {
        AppSettings& s = data.settings;
        s.UseSound = IsOn(m_use);
        s.SoundStart = TextOf(m_start);
        s.SoundEnd = TextOf(m_end);
        s.SoundErr1 = TextOf(m_err1);
        s.SoundErr2 = TextOf(m_err2);
    }

private:
    QCheckBox* m_use;
    QLineEdit *m_start, *m_end, *m_err1, *m_err2;
};

}  // namespace

PreferencesPage* MakeRippingPage(const PreferencesData& data) {
    return new RippingPage(data.settings);
}

PreferencesPage* MakeSoundsPage(const PreferencesData& data) {
    return new SoundsPage(data.settings);
}

}  // namespace kov
