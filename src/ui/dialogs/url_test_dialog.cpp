#include "ui/dialogs/url_test_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <atomic>
#include <cstdio>
#include <ctime>

#include "core/language/message_table.h"
#include "core/language/ui_text_ids.h"
#include "core/text/text_util.h"
#include "model/local_path.h"
#include "model/url_parts.h"
#include "model/url_template.h"
#include "net/transfer/proxy_settings.h"
#include "net/transfer/resource_info.h"
#include "net/transfer/resource_prober.h"
#include "platform/file_util.h"
#include "ui/app/background_task.h"
#include "ui/app/ui_text.h"

namespace kov {

namespace {

constexpr std::time_t kDay = 24 * 60 * 60;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString DateTimeText(std::time_t time) {
    std::tm tm{};
    localtime_r(&time, &tm);
    char text[48];
    std::snprintf(text, sizeof text, "%02d.%02d.%d %02d:%02d:%02d", tm.tm_mday, tm.tm_mon + 1,
                  tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

QString LastDownloadText(std::time_t lastDL) {
    std::tm tm{};
    localtime_r(&lastDL, &tm);
    if (tm.tm_year + 1900 < 1991) return "--";
    char text[48];
    std::snprintf(text, sizeof text, "%02d.%02d.%d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
    return text;
}

// What the probe thread hands back.
// The reason phrases of the statuses a probe meets most.
const char* ReasonPhrase(int status) {
    static const std::pair<int, const char*> phrases[] = {
        {300, "Multiple Choices"},    {304, "Not Modified"},
        {400, "Bad Request"},         {401, "Unauthorized"},
        {403, "Forbidden"},           {404, "Not Found"},
        {405, "Method Not Allowed"},  {407, "Proxy Authentication Required"},
        {408, "Request Timeout"},     {410, "Gone"},
        {429, "Too Many Requests"},   {500, "Internal Server Error"},
        {501, "Not Implemented"},     {502, "Bad Gateway"},
        {503, "Service Unavailable"}, {504, "Gateway Timeout"},
    };
    for (const auto& [code, phrase] : phrases)
        if (code == status) return phrase;
    return "";
}

QString FailureText(int status, int error) {
    // A server that answered is named with its answer; no answer keeps the old words.
    if (status >= 100 && status <= 599 && status == error) {
        const char* reason = ReasonPhrase(status);
        return UiTextWith(kGuiTestUrlServerAnswered, "",
                          {QString::number(status) + (*reason ? QString(" ") + reason : "")});
    }
    return Q(GetString(EventCode::ResourceUnavailable)) + " , " + QString::number(error);
}

struct ProbeResult {
    unsigned flags = 0;
    ResourceInfo info;
    bool redirected = false;
    int error = 0;
    bool localNetwork = false;
};

}  // namespace

UrlTestDialog::UrlTestDialog(const UrlItem& item, const AppSettings& settings,
                             const MacroContext& macros, QWidget* parent)
    : QDialog(parent),
      m_item(item),
      m_macros(macros),
      m_settings(std::make_shared<const AppSettings>(settings)),
      m_task(std::make_unique<BackgroundTask>(this)) {
    // The moment a download would expand its templates for.
    if (!m_macros.now) m_macros.now = std::time(nullptr);
    m_moment = m_macros.now - static_cast<std::time_t>(m_item.dayShift) * kDay;
    m_expandedUrl = ExpandTemplate(m_item.Url, m_moment, m_item.CurrentNum, true);
    Build();
    ShowLocalCopy({});
}

UrlTestDialog::~UrlTestDialog() = default;

void UrlTestDialog::Build() {
    setWindowTitle(UiText(kGuiTestUrlTitle, "Testing URL"));
    auto* layout = new QVBoxLayout(this);
    m_url = new QPlainTextEdit(Q(m_expandedUrl), this);
    m_url->setReadOnly(true);
    m_url->setFixedHeight(fontMetrics().lineSpacing() * 3 + 12);
    layout->addWidget(m_url);
    m_final = new QLabel(this);
    m_final->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_final->setWordWrap(true);
    m_final->hide();
    layout->addWidget(m_final);

    auto value = [this] {
        auto* label = new QLabel("--", this);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };
    m_size = value();
    m_modified = value();
    m_type = value();
    m_partial = value();
    m_localSize = value();
    m_localTime = value();
    m_lastDownload = value();

    // The server's figures on the left, the local copy's on the right.
    auto* columns = new QHBoxLayout;
    auto* server = new QFormLayout;
    server->addRow(UiText(kGuiTestUrlFileSize, "File size"), m_size);
    server->addRow(UiText(kGuiTestUrlLastModified, "Last modified date/time"), m_modified);
    server->addRow(UiText(kGuiTestUrlContentType, "Content type"), m_type);
    server->addRow(UiText(kGuiTestUrlPartialDownload, "Partial download"), m_partial);
    auto* local = new QFormLayout;
    local->addRow(UiText(kGuiLocalCopySize, "Local copy size"), m_localSize);
    local->addRow(UiText(kGuiLocalCopyDate, "Local copy date/time"), m_localTime);
    local->addRow(UiText(kGuiLastDownloadDate, "Last download date"), m_lastDownload);
    columns->addLayout(server);
    columns->addSpacing(24);
    columns->addLayout(local);
    layout->addLayout(columns);

    m_origin = new QLabel(this);
    if (m_item.CEType == 1) {
        m_origin->setText(Q(GetString(EventCode::QrySentToServer)));
    } else if (m_item.CEType == 10) {
        m_origin->setText(
            Q(GetString(EventCode::QryReceivedFrom) + " <" + m_item.CEComeFrom + ">"));
    }
    m_origin->setVisible(!m_origin->text().isEmpty());
    layout->addWidget(m_origin);
    m_localNetwork = new QLabel(UiText(kGuiUrlIsLocal, "Resource is in Local Network"), this);
    m_localNetwork->hide();
    layout->addWidget(m_localNetwork);

    auto* bottom = new QHBoxLayout;
    m_busy = new QProgressBar(this);
    m_busy->setRange(0, 0);  // moves without a known end
    m_busy->setTextVisible(false);
    m_busy->hide();
    bottom->addWidget(m_busy, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(UiText(kGuiOK, "OK"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    bottom->addWidget(buttons);
    layout->addLayout(bottom);
    m_lastDownload->setText(LastDownloadText(m_item.lastDL));
    resize(560, sizeHint().height());
}

void UrlTestDialog::ShowLocalCopy(const std::string& finalUrl) {
    const std::string path = MakeLocalPath(m_item, m_moment, finalUrl, m_macros);
    const auto size = FileSize(path);
    const auto time = LastWriteTime(path);
    m_localSize->setText(size ? Q(GroupDigits(*size)) : "--");
    m_localTime->setText(size && time ? DateTimeText(*time) : "--");
}

void UrlTestDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Start();
}

void UrlTestDialog::done(int result) {
    // A probe still running is told to stop and finishes unseen.
    m_task->RequestStop();
    QDialog::done(result);
}

bool UrlTestDialog::Probing() const {
    return !m_busy->isHidden();
}

void UrlTestDialog::Start() {
    if (m_started) return;
    m_started = true;
    m_busy->show();
    std::string referer = ExpandTemplate(m_item.Referer, m_moment, m_item.CurrentNum, true);
    m_task->Run([this, settings = m_settings, url = m_expandedUrl, referer = std::move(referer),
                 user = m_item.UserName,
                 password = m_item.UserPsw](const std::atomic<int>& stop,
                                            const BackgroundTask::Post&) -> std::function<void()> {
        // Only copies are used here; `this` is touched by the returned part alone.
        ProbeResult result;
        UrlParts parts;
        if (SplitUrl(url, parts, false)) {
            // A DNS server that does not answer must not hold the closing dialog.
            const auto stopped = [&stop] { return stop.load() >= 2; };
            result.localNetwork = parts.scheme == "file" || IsLocalHost(parts.host, stopped) == 1;
        }
        ResourceProber prober(*settings);
        prober.SetStopFlag(&stop);
        prober.SetReferer(referer);
        result.flags = prober.Probe(url, result.info, user, password);
        // A 200 without any header of interest is still an answer.
        if (!result.flags && result.info.status == 200 && !prober.Error()) result.flags = 1;
        result.redirected = prober.Redirected();
        result.error = prober.Error();
        return [this, result] {
            m_localNetwork->setVisible(result.localNetwork);
            ShowResult(result.flags, result.info, result.redirected, result.error);
        };
    });
}

void UrlTestDialog::ShowResult(unsigned flags, const ResourceInfo& info, bool redirected,
                               int error) {
    m_busy->hide();
    const QString unknown = Q(GetString(EventCode::Unknown));
    if (!flags) {
        m_url->setPlainText(Q(m_expandedUrl) + "\n" + FailureText(info.status, error));
        for (QLabel* label : {m_size, m_modified, m_type, m_partial})
            label->setText(unknown);
        emit probeFinished();
        return;
    }
    m_url->setPlainText(Q(m_expandedUrl));
    m_size->setText((info.flags & kHasLength) ? Q(GroupDigits(static_cast<std::int64_t>(info.size)))
                                              : unknown);
    m_modified->setText((info.flags & kHasLastModified) ? DateTimeText(info.lastModified) : "--");
    m_type->setText(info.contentType.empty() ? "--" : Q(info.contentType));
    m_partial->setText(Q(GetString(info.acceptRanges ? EventCode::Yes : EventCode::No)));
    if (redirected && !info.finalUrl.empty()) {
        m_final->setText(Q("==> " + info.finalUrl));
        m_final->show();
        ShowLocalCopy(info.finalUrl);
    }
    emit probeFinished();
}

QString UrlTestDialog::FieldText(Field field) const {
    auto shown = [](const QLabel* label) { return label->isHidden() ? QString() : label->text(); };
    switch (field) {
        case Field::Url:
            return m_url->toPlainText();
        case Field::FinalUrl:
            return shown(m_final);
        case Field::FileSize:
            return m_size->text();
        case Field::Modified:
            return m_modified->text();
        case Field::ContentType:
            return m_type->text();
        case Field::Partial:
            return m_partial->text();
        case Field::LocalSize:
            return m_localSize->text();
        case Field::LocalTime:
            return m_localTime->text();
        case Field::LastDownload:
            return m_lastDownload->text();
        case Field::Origin:
            return shown(m_origin);
        case Field::LocalNetwork:
            return shown(m_localNetwork);
    }
    return {};
}

void ShowUrlTest(QWidget* parent, const UrlItem& item, const AppSettings& settings,
                 const MacroContext& macros) {
    UrlTestDialog dialog(item, settings, macros, parent);
    dialog.exec();
}

}  // namespace kov
