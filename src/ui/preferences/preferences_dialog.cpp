#include "ui/preferences/preferences_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "content/rules/page_rules.h"
#include "core/language/ui_text_ids.h"
#include "core/settings/profile_store.h"
#include "core/settings/settings_file_check.h"
#include "ui/app/ui_text.h"
#include "ui/preferences/preferences_page_remote.h"
#include "ui/preferences/preferences_pages.h"
#include "ui/widgets/dialog_buttons.h"

namespace kov {

PreferencesDialog::PreferencesDialog(PreferencesSetup setup, QWidget* parent)
    : QDialog(parent), m_setup(std::move(setup)) {
    setObjectName("Preferences");
    setWindowTitle(UiText(kGuiConfiguration, ""));
    m_data.settings = *m_setup.settings;
    if (m_setup.rules) {
        m_data.banner = m_setup.rules->banner;
        m_data.sites = m_setup.rules->sites;
    }

    auto* column = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    column->addLayout(row, 1);
    m_tree = new QTreeWidget;
    m_tree->setObjectName("PageTree");
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(false);  // a flat list: no room kept for branches
    m_stack = new QStackedWidget;
    row->addWidget(m_tree);
    row->addWidget(m_stack, 1);

    const PreferencesContext& context = m_setup.context;
    AddPage(kGuiInterface, MakeInterfacePage(m_data, context));
    AddPage(kGuiSession, MakeSessionPage(m_data, context));
    AddPage(kGuiLogGroup, MakeLogPage(m_data));
    AddPage(kGuiDlgInternet, MakeInternetPage(m_data));
    AddPage(kGuiDnProfilesTitle, MakeRippingPage(m_data));
    AddPage(kGuiSetupSounds, MakeSoundsPage(m_data));
    AddPage(kGuiDefNewDownloadTitle, MakeNewUrlPage(m_data));
    AddPage(kGuiTaskList, MakeSchedulePage(m_data));
    AddPage(kGuiDlgEmailControl, MakeEmailPage(m_data));
    AddPage(kGuiRemoteTitle, MakeRemotePage(m_data));
    if (m_setup.rules) {
        AddPage(kGuiBannerString, MakeBannerPage(m_data, context));
        AddPage(kGuiPrefSites, MakeSitesPage(m_data, context));
    }
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) m_stack->setCurrentIndex(m_tree->indexOfTopLevelItem(item));
    });
    // As wide as the longest page title in this language, and no wider.
    int widest = 0;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        widest = std::max(
            widest, m_tree->fontMetrics().horizontalAdvance(m_tree->topLevelItem(i)->text(0)));
    m_tree->setFixedWidth(widest + 2 * m_tree->frameWidth() +
                          m_tree->fontMetrics().horizontalAdvance(QStringLiteral("MM")));

    m_error = new QLabel;
    m_error->setObjectName("PreferencesError");
    m_error->setStyleSheet(QStringLiteral("color: #c00000;"));
    m_error->setWordWrap(true);
    m_error->hide();
    column->addWidget(m_error);
    QDialogButtonBox* buttons = MakeOkCancelButtons(this);
    column->addWidget(buttons);
    ShowPage(0);
    resize(820, 600);
}

void PreferencesDialog::AddPage(int titleId, PreferencesPage* page) {
    auto* item = new QTreeWidgetItem(m_tree, {UiText(titleId, "")});
    item->setData(0, Qt::UserRole, titleId);
    m_stack->addWidget(page);
    m_pages.push_back(page);
}

void PreferencesDialog::ShowPage(int index) {
    if (QTreeWidgetItem* item = m_tree->topLevelItem(index)) m_tree->setCurrentItem(item);
}

int PreferencesDialog::PageCount() const {
    return static_cast<int>(m_pages.size());
}

QString PreferencesDialog::Error() const {
    return m_error->isVisible() ? m_error->text() : QString();
}

void PreferencesDialog::accept() {
    m_error->hide();
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        QWidget* field = m_pages[i]->Invalid();
        if (!field) continue;
        // Refused at the field: its page comes up and the field has the focus and the reason.
        ShowPage(static_cast<int>(i));
        field->setFocus();
        m_error->setText(field->toolTip());
        m_error->setVisible(!field->toolTip().isEmpty());
        return;
    }
    // The pages write only their own fields, over the settings as they are now: what changed
    // meanwhile elsewhere (the window's place, the current list) stays.
    PreferencesData out;
    out.settings = *m_setup.settings;
    out.banner = m_data.banner;
    out.sites = m_data.sites;
    for (PreferencesPage* page : m_pages)
        page->Store(out);
    if (!Save(out)) return;
    m_languageChanged = out.settings.Language != m_setup.settings->Language;
    *m_setup.settings = std::move(out.settings);
    if (m_setup.rules) {
        m_setup.rules->banner = std::move(out.banner);
        m_setup.rules->banner.modified = false;
        m_setup.rules->sites = std::move(out.sites);
        m_setup.rules->sitesModified = false;
    }
    QDialog::accept();
}

bool PreferencesDialog::Save(PreferencesData& out) {
    std::string error;
    bool ok = true;
    if (m_setup.rules && out.banner.modified) {
        ok = SaveBannerFile(m_setup.bannerFile, out.banner, error);
    }
    if (ok && m_setup.rules && !SameSites(out.sites, m_setup.rules->sites)) {
        PageRules sites;
        sites.sites = out.sites;
        ok = SaveSiteFile(m_setup.siteFile, sites, error);
    }
    if (ok) {
        // Something else put under the settings file's name is refused, never written over.
        error = SettingsFileProblem(m_setup.settingsFile, true);
        ok = error.empty();
    }
    if (ok) {
        out.settings.changed = true;
        ProfileStore store;
        ok = store.Open(m_setup.settingsFile) && SaveSettings(store, out.settings) && store.Flush();
        if (!ok) error = store.Error();
        // Saved now: the exit has nothing more to write for them.
        out.settings.changed = !ok;
    }
    if (!ok) {
        m_error->setText(UiText(kGuiPrefSaveFailed, "") + " " + QString::fromStdString(error));
        m_error->show();
    }
    return ok;
}

}  // namespace kov
