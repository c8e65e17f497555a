#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/language/ui_text_ids.h"
#include "ui/app/ui_text.h"
#include "ui/preferences/preferences_pages.h"
#include "ui/preferences/preferences_rule_editing.h"

namespace kov {

namespace {

QString RuleCount(std::size_t count) {
    return QStringLiteral("%1: %2").arg(UiText(kGuiPrefRuleCount, "")).arg(count);
}

// While a session runs its jobs read the rules, so the pages only show them then.
void LockWhenBusy(PreferencesPage* page, QVBoxLayout* column, const PreferencesContext& context) {
    if (!context.rulesLocked) return;
    auto* note = new QLabel(UiText(kGuiPrefRulesLocked, ""));
    note->setObjectName("RulesLocked");
    note->setWordWrap(true);
    column->insertWidget(0, note);
    for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child != note) child->setEnabled(false);
    }
}

class BannerPage : public PreferencesPage {
public:
    BannerPage(const BannerRules& banner, std::string masks, const PreferencesContext& context)
        : m_rules(banner.rules), m_masks(std::move(masks)) {
        auto* column = new QVBoxLayout(this);
        auto* row = new QHBoxLayout;
        m_count = new QLabel(RuleCount(m_rules.size()));
        auto* edit = new QPushButton(UiText(kGuiURLSearchReplace, ""));
        edit->setObjectName("EditBannerRules");
        row->addWidget(new QLabel(UiText(kGuiBannerString, "")));
        row->addWidget(m_count, 1);
        row->addWidget(edit);
        auto* rulesRow = new QWidget;
        rulesRow->setLayout(row);
        column->addWidget(rulesRow);
        column->addWidget(new QLabel(UiText(kGuiPrefBannedWords, "")));
        m_words = MakeLine("bannedWords", banner.bannedWords, BannerRules::kBannedWordsCapacity);
        column->addWidget(m_words);
        column->addStretch(1);
        connect(edit, &QPushButton::clicked, this, [this] {
            std::vector<ReplaceRule> rules = m_rules;
            if (!EditRuleList(rules, m_masks, this)) return;
            m_rules = std::move(rules);
            m_count->setText(RuleCount(m_rules.size()));
        });
        LockWhenBusy(this, column, context);
        m_locked = context.rulesLocked;
    }

    void Store(PreferencesData& data) override {
        if (m_locked) return;
        const std::string words = TextOf(m_words);
        if (!SameRules(m_rules, data.banner.rules) || words != data.banner.bannedWords) {
            data.banner.rules = m_rules;
            data.banner.bannedWords = words;
            data.banner.modified = true;
        }
    }

private:
    std::vector<ReplaceRule> m_rules;
    std::string m_masks;
    QLabel* m_count;
    QLineEdit* m_words;
    bool m_locked = false;
};

class SitesPage : public PreferencesPage {
public:
    SitesPage(const std::vector<SiteRule>& sites, std::string masks,
              const PreferencesContext& context)
        : m_sites(sites), m_masks(std::move(masks)) {
        auto* column = new QVBoxLayout(this);
        m_table = new QTableWidget(0, 3);
        m_table->setObjectName("Sites");
        m_table->setHorizontalHeaderLabels(
            {UiText(kGuiSiteName, ""), UiText(kGuiSiteURL, ""), UiText(kGuiSiteSRList, "")});
        m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
        m_table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
        m_table->verticalHeader()->setVisible(false);
        m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_table->setSelectionMode(QAbstractItemView::SingleSelection);
        for (const SiteRule& site : m_sites)
            AddRow(site);
        column->addWidget(m_table, 1);
        auto* buttons = new QHBoxLayout;
        auto* add = new QPushButton(UiText(kGuiAdd, ""));
        add->setObjectName("AddSite");
        auto* remove = new QPushButton(UiText(kGuiDelete, ""));
        remove->setObjectName("DeleteSite");
        auto* rules = new QPushButton(UiText(kGuiURLSearchReplace, ""));
        rules->setObjectName("EditSiteRules");
        buttons->addWidget(add);
        buttons->addWidget(remove);
        buttons->addWidget(rules);
        buttons->addStretch(1);
        auto* buttonRow = new QWidget;
        buttonRow->setLayout(buttons);
        column->addWidget(buttonRow);
        connect(add, &QPushButton::clicked, this, [this] {
            m_sites.emplace_back();
            AddRow(m_sites.back());
            m_table->setCurrentCell(m_table->rowCount() - 1, 0);
        });
        connect(remove, &QPushButton::clicked, this, [this] {
            const int r = m_table->currentRow();
            if (r < 0) return;
            m_sites.erase(m_sites.begin() + r);
            m_table->removeRow(r);
        });
        connect(rules, &QPushButton::clicked, this, [this] { EditRules(m_table->currentRow()); });
        LockWhenBusy(this, column, context);
        m_locked = context.rulesLocked;
    }

    void Store(PreferencesData& data) override {
        if (m_locked) return;
        for (int r = 0; r < m_table->rowCount(); ++r) {
            SiteRule& site = m_sites[r];
            site.enabled = m_table->item(r, 0)->checkState() == Qt::Checked;
            site.name = Cut(m_table->item(r, 0)->text(), SiteRule::kNameCapacity);
            site.url = Cut(m_table->item(r, 1)->text().trimmed(), SiteRule::kUrlCapacity);
        }
        if (!SameSites(m_sites, data.sites)) data.sites = m_sites;
    }

    QWidget* Invalid() override {
        for (int r = 0; r < m_table->rowCount(); ++r) {
            QTableWidgetItem* url = m_table->item(r, 1);
            url->setBackground(QBrush());
            url->setToolTip({});
            if (!url->text().trimmed().isEmpty()) continue;
            // A site without a URL prefix would apply its rules to every page.
            m_table->setCurrentCell(r, 1);
            url->setBackground(QColor(0xff, 0xd0, 0xd0));
            url->setToolTip(UiText(kGuiPrefEmptyField, ""));
            return m_table;
        }
        return nullptr;
    }

private:
    static std::string Cut(const QString& text, std::size_t capacity) {
        std::string s = text.toStdString();
        if (s.size() <= capacity) return s;
        std::size_t n = capacity;
        while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
            --n;
        return s.substr(0, n);
    }

    void AddRow(const SiteRule& site) {
        const int r = m_table->rowCount();
        m_table->insertRow(r);
        auto* name = new QTableWidgetItem(QString::fromStdString(site.name));
        name->setFlags(name->flags() | Qt::ItemIsUserCheckable);
        name->setCheckState(site.enabled ? Qt::Checked : Qt::Unchecked);
        m_table->setItem(r, 0, name);
        m_table->setItem(r, 1, new QTableWidgetItem(QString::fromStdString(site.url)));
        auto* count = new QTableWidgetItem(QString::number(site.rules.size()));
        count->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        m_table->setItem(r, 2, count);
    }

    void EditRules(int r) {
        if (r < 0 || r >= static_cast<int>(m_sites.size())) return;
        std::vector<ReplaceRule> rules = m_sites[r].rules;
        if (!EditRuleList(rules, m_masks, this)) return;
        if (rules.size() > SiteRule::kMaxRules) rules.resize(SiteRule::kMaxRules);
        m_sites[r].rules = std::move(rules);
        m_table->item(r, 2)->setText(QString::number(m_sites[r].rules.size()));
    }

    std::vector<SiteRule> m_sites;
    std::string m_masks;
    QTableWidget* m_table;
    bool m_locked = false;
};

}  // namespace

PreferencesPage* MakeBannerPage(const PreferencesData& data, const PreferencesContext& context) {
    return new BannerPage(data.banner, data.settings.SrFileMasks, context);
}

PreferencesPage* MakeSitesPage(const PreferencesData& data, const PreferencesContext& context) {
    return new SitesPage(data.sites, data.settings.SrFileMasks, context);
}

}  // namespace kov
