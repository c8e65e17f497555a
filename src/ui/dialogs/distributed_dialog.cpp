#include "ui/dialogs/distributed_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <ctime>

#include "core/language/message_table.h"
#include "core/language/ui_text_ids.h"
#include "core/text/text_util.h"
#include "mail_control/distributed_download.h"
#include "mail_control/part_merger.h"
#include "mail_control/portion_queries.h"
#include "mail_control/query_sender.h"
#include "model/local_path.h"
#include "net/transfer/resource_prober.h"
#include "ui/app/background_task.h"
#include "ui/app/ui_text.h"
#include "ui/widgets/dialog_buttons.h"

namespace kov {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

DistributedDialog::DistributedDialog(const UrlItem& item, const AppSettings& settings,
                                     const MacroContext& macros, Prompter& prompter,
                                     QWidget* parent, QueryLine line)
    : QDialog(parent),
      m_line(std::move(line)),
      m_item(item),
      m_settings(std::make_shared<const AppSettings>(settings)),
      m_macros(macros),
      m_prompter(prompter),
      m_task(std::make_unique<BackgroundTask>(this)) {
    Build();
    UpdateInfo();
}

DistributedDialog::~DistributedDialog() {
    if (m_waitingForLine && m_line.cancel) m_line.cancel();
    if (m_holdsLine && m_line.release) m_line.release();
}

void DistributedDialog::Build() {
    setWindowTitle(UiText(kGuiDistrDlTitle, "Distributed download"));
    auto* layout = new QVBoxLayout(this);
    BuildParts(layout);
    layout->addWidget(BuildHosts());
    m_log = new QPlainTextEdit(this);
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(2000);
    m_log->setMinimumHeight(m_log->fontMetrics().lineSpacing() * 5);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_buttons = MakeOkCancelButtons(this);
    layout->addWidget(m_log);
    layout->addWidget(m_progress);
    layout->addWidget(m_buttons);
    // The host list and the log grow with the dialog; they start small.
    resize(520, minimumSizeHint().height() + 60);
}

// Whether the item is distributed, its file size, the part count and number with the part
// size lines, and the buttons that write the definitions and merge the parts.
void DistributedDialog::BuildParts(QVBoxLayout* layout) {
    m_active = new QCheckBox(UiText(kGuiDistrDlEnable, "Enable distributed download"), this);
    m_active->setChecked(m_item.DstDlActive != 0);
    m_sizeButton = new QPushButton(UiText(kGuiDistrDlGetFileSize, "File size"), this);
    m_count = new QSpinBox(this);
    m_count->setRange(2, kMaxParts);
    m_count->setValue(m_item.DstDlPartCount);
    m_number = new QSpinBox(this);
    m_number->setRange(1, m_item.DstDlPartCount);
    m_number->setValue(m_item.DstDlPartNo);
    m_info = new QLabel(this);
    m_info->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_info->setMinimumHeight(m_info->fontMetrics().lineSpacing() * 2);
    m_buildButton = new QPushButton(UiText(kGuiDistrDlBuildQueries, "Build queries"), this);
    m_mergeButton = new QPushButton(UiText(kGuiDistrMergeDistributed, "Merge parts"), this);

    auto* top = new QHBoxLayout;
    top->addWidget(m_active, 1);
    top->addWidget(m_sizeButton);
    auto* parts = new QFormLayout;
    parts->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    parts->addRow(UiText(kGuiDistrDlPartCount, "Parts"), m_count);
    parts->addRow(UiText(kGuiDistrDlPartNo, "Part"), m_number);
    auto* actions = new QHBoxLayout;
    actions->addWidget(m_buildButton);
    actions->addWidget(m_mergeButton);
    actions->addStretch(1);
    layout->addLayout(top);
    layout->addLayout(parts);
    layout->addWidget(m_info);
    layout->addLayout(actions);

    connect(m_active, &QCheckBox::toggled, this, [this](bool on) {
        m_item.DstDlActive = on ? 1 : 0;
        // Turning it on needs the size; no size, no distributed download.
        if (on && m_item.DstDlFileSize <= 0) GetFileSize();
    });
    connect(m_sizeButton, &QPushButton::clicked, this, &DistributedDialog::GetFileSize);
    connect(m_count, &QSpinBox::valueChanged, this, [this](int count) {
        m_number->setMaximum(count);
        UpdateInfo();
    });
    connect(m_number, &QSpinBox::valueChanged, this, [this] { UpdateInfo(); });
    connect(m_buildButton, &QPushButton::clicked, this, &DistributedDialog::BuildDefinitions);
    connect(m_mergeButton, &QPushButton::clicked, this, &DistributedDialog::ChooseMergeTarget);
}

// The hosts to send portion queries to, with the send button.
QGroupBox* DistributedDialog::BuildHosts() {
    auto* hostsBox = new QGroupBox(UiText(kGuiQryChooseServers, "Choose the KOV servers"), this);
    m_hosts = new QListWidget(hostsBox);
    for (std::size_t i = 0; i < m_settings->email.hosts.size(); ++i) {
        const EmailHost& host = m_settings->email.hosts[i];
        auto* row =
            new QListWidgetItem(QString("%1 <%2>").arg(i + 1).arg(Q(host.HostEmail)), m_hosts);
        row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
        row->setCheckState(Qt::Unchecked);
        if (!host.Enabled) row->setFlags(row->flags() & ~Qt::ItemIsEnabled);
    }
    m_hosts->setMinimumHeight(m_hosts->fontMetrics().lineSpacing() * 5);
    m_sendButton = new QPushButton(UiText(kGuiDistrSendDDQueries, "Send queries"), this);
    auto* hostsLayout = new QVBoxLayout(hostsBox);
    hostsLayout->addWidget(m_hosts);
    auto* sendRow = new QHBoxLayout;
    sendRow->addStretch(1);
    sendRow->addWidget(m_sendButton);
    hostsLayout->addLayout(sendRow);
    connect(m_sendButton, &QPushButton::clicked, this, &DistributedDialog::SendQueries);
    return hostsBox;
}

QString DistributedDialog::PartInfoText() const {
    return m_info->text();
}

QString DistributedDialog::LogText() const {
    return m_log->toPlainText();
}

bool DistributedDialog::Busy() const {
    return m_waitingForLine || m_task->Running();
}

void DistributedDialog::AddLog(const QString& line) {
    m_log->appendPlainText(line);
}

void DistributedDialog::UpdateInfo() {
    m_item.DstDlPartCount = m_count->value();
    m_item.DstDlPartNo = m_number->value();
    QStringList lines;
    for (const std::string& line : UpdatePartInfo(m_item))
        lines << Q(line);
    m_info->setText(lines.join('\n'));
}

void DistributedDialog::SetBusy(bool busy) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_active, m_sizeButton, m_count, m_number, m_buildButton,
                                         m_sendButton, m_mergeButton, m_hosts}) {
        w->setEnabled(!busy);
    }
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!busy);
    if (busy) {
        m_progress->setRange(0, 0);
    } else {
        m_progress->setRange(0, 100);
        m_progress->setValue(0);
    }
}

void DistributedDialog::GetFileSize() {
    UrlItem copy = m_item;
    const bool started =
        m_task->Run([this, copy, settings = m_settings, prompter = &m_prompter](
                        const std::atomic<int>& stop,
                        const BackgroundTask::Post&) mutable -> std::function<void()> {
            ResourceProber prober(*settings);
            prober.SetStopFlag(&stop);
            const bool known = ProbeFileSize(copy, prober, std::time(nullptr), *prompter);
            return [this, known, size = copy.DstDlFileSize] {
                m_item.DstDlFileSize = size;
                if (!known) {
                    m_item.DstDlActive = 0;
                    const QSignalBlocker quiet(m_active);
                    m_active->setChecked(false);
                }
                SetBusy(false);
                UpdateInfo();
                emit workFinished();
            };
        });
    if (started) SetBusy(true);
}

void DistributedDialog::BuildDefinitions() {
    if (Busy()) return;
    UpdateInfo();
    const PartDefinitions result = CreatePartDefinitions(m_item, m_macros, m_prompter);
    for (const std::string& file : result.files)
        AddLog(Q(file));
    if (!result.ok && !result.error.empty()) AddLog(Q(result.error));
}

void DistributedDialog::SendQueries() {
    std::vector<std::size_t> chosen;
    for (int row = 0; row < m_hosts->count(); ++row) {
        if (m_hosts->item(row)->checkState() == Qt::Checked) {
            chosen.push_back(static_cast<std::size_t>(row));
        }
    }
    if (chosen.empty()) {
        m_hosts->setFocus();
        return;
    }
    if (Busy()) return;
    UpdateInfo();
    if (!m_line.request) {
        SendOnLine(chosen);
        return;
    }
    // Nothing goes out before the line is up.
    m_waitingForLine = true;
    SetBusy(true);
    m_line.request([dialog = QPointer<DistributedDialog>(this), chosen](bool ready) {
        if (!dialog || !dialog->m_waitingForLine) return;
        dialog->m_waitingForLine = false;
        if (ready) {
            dialog->SendOnLine(chosen);
            return;
        }
        const std::string text = GetString(EventCode::ConnectingError);
        dialog->AddLog(Q(text));
        if (dialog->m_line.log) dialog->m_line.log(text, true);
        dialog->SetBusy(false);
        emit dialog->workFinished();
    });
}

void DistributedDialog::SendOnLine(const std::vector<std::size_t>& chosen) {
    m_holdsLine = static_cast<bool>(m_line.request);
    const bool started =
        m_task->Run([this, item = m_item, chosen, settings = m_settings](
                        const std::atomic<int>& stop,
                        const BackgroundTask::Post& post) -> std::function<void()> {
            const EmailSettings& email = settings->email;
            // The sends come in portion order; each is announced before it goes.
            const std::vector<PortionTarget> targets =
                AssignPortions(item.DstDlPartCount, item.DstDlPartNo, chosen.size());
            std::size_t next = 0;
            auto send = [&](std::size_t hostIndex, const std::string& text) {
                while (next < targets.size() && !targets[next].host)
                    ++next;
                const std::int32_t portion = next < targets.size() ? targets[next].portion : 0;
                ++next;
                const QString line =
                    QString("%1 -> %2 ...").arg(portion).arg(Q(email.hosts[hostIndex].HostEmail));
                post([this, line] { AddLog(line); });
                if (stop >= 2) return false;
                return SendQuery(email, hostIndex, text, [&stop] { return stop >= 2; });
            };
            const PortionSendReport report = SendPortionQueries(item, email.hosts, chosen, send);
            return [this, report] {
                if (m_holdsLine && m_line.release) m_line.release();
                m_holdsLine = false;
                for (const std::string& line : report.lines) {
                    AddLog(Q(line));
                    if (m_line.log) m_line.log(line, line.ends_with("ERROR"));
                }
                AddLog(Q(report.summary));
                if (m_line.log) m_line.log(report.summary, !report.allSent);
                SetBusy(false);
                emit workFinished();
            };
        });
    if (started) {
        SetBusy(true);
    } else if (m_holdsLine && m_line.release) {
        m_line.release();
        m_holdsLine = false;
    }
}

void DistributedDialog::ChooseMergeTarget() {
    const std::string local = MakeLocalPath(m_item, std::time(nullptr), {}, m_macros);
    const QString suffix = QFileInfo(Q(local)).suffix();
    const QString filter =
        suffix.isEmpty() ? QString("* (*)") : QString("*.%1 (*.%1);;* (*)").arg(suffix);
    const QString target = QFileDialog::getSaveFileName(
        this, UiText(kGuiDistrMergeDistributed, "Merge parts"), Q(local), filter);
    if (!target.isEmpty()) Merge(target.toStdString());
}

void DistributedDialog::Merge(const std::string& target) {
    UpdateInfo();
    MergeRequest request;
    request.localPath = MakeLocalPath(m_item, std::time(nullptr), {}, m_macros);
    request.target = target;
    request.partCount = m_item.DstDlPartCount;
    request.fileSize = m_item.DstDlFileSize;
    AddLog(
        Q(GetString(EventCode::Merging) + " : " + (target.empty() ? request.localPath : target)));
    const bool started =
        m_task->Run([this, request, prompter = &m_prompter](
                        const std::atomic<int>& stop,
                        const BackgroundTask::Post& post) -> std::function<void()> {
            int shown = -1;
            auto progress = [&](int percent) {
                if (percent == shown) return;
                shown = percent;
                post([this, percent] {
                    m_progress->setRange(0, 100);
                    m_progress->setValue(percent);
                });
            };
            const MergeResult result =
                MergeParts(request, *prompter, progress, [&stop] { return stop >= 2; });
            return [this, result] {
                AddLog(result.ok ? QString("%1 %2").arg(Q(GroupDigits(result.bytes)),
                                                        Q(GetString(EventCode::Bytes)))
                                 : Q(result.error));
                SetBusy(false);
                emit workFinished();
            };
        });
    if (started) SetBusy(true);
}

void DistributedDialog::reject() {
    // Work still running goes on unseen and is told to stop.
    m_task->RequestStop();
    QDialog::reject();
}

bool ShowDistributed(QWidget* parent, UrlItem& item, const AppSettings& settings,
                     const MacroContext& macros, Prompter& prompter, const QueryLine& line) {
    DistributedDialog dialog(item, settings, macros, prompter, parent, line);
    if (dialog.exec() != QDialog::Accepted) return false;
    CopyPartFields(dialog.Item(), item);
    return true;
}

}  // namespace kov
