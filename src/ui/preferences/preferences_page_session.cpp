#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "core/language/ui_text_ids.h"
#include "core/text/text_util.h"
#include "ui/app/ui_text.h"
#include "ui/preferences/preferences_pages.h"

namespace kov {

namespace {

class SessionPage : public PreferencesPage {
public:
    SessionPage(const AppSettings& s, const PreferencesContext& context) {
        auto* form = new QFormLayout(this);
        m_threads = AddSpin(form, kMainSection, "MaxThreads", kGuiMaxThreads, s.MaxThreads);
        m_connections = AddSpin(form, kMainSection, "Connections", kGuiConnections, s.Connections);
        m_disposable = AddCheck(form, "NotNeededAction", kGuiDeleteDisposable, s.NotNeededAction);
        // The choices stand in the order of the setting's values, as do their text ids.
        m_abort = AddChoice(form, "AbortMode", kGuiStopActions, {kGuiStopAction1, kGuiStopAction2},
                            s.AbortMode);
        m_onEnd =
            AddChoice(form, "OnEndSession", kGuiOnEndSession,
                      {kGuiOnEndSession1, kGuiOnEndSession2, kGuiOnEndSession3}, s.OnEndSession);
        m_trace = AddCheck(form, "LimitTrace", kGuiLimitTraceActive, s.LimitTrace);
        m_sum = AddSettingLine(form, kMainSection, "LimitSum", kGuiLimitSum, s.LimitSum);
        // The session reads anything but a plain number as no limit at all; 19 digits always
        // fit the 64-bit counter.
        m_sum->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9]{0,19}")), m_sum));
        // Once the limit is reached nothing downloads until the counter is reset.
        if (context.trafficCount) {
            auto* row = new QWidget;
            auto* box = new QHBoxLayout(row);
            box->setContentsMargins(0, 0, 0, 0);
            m_counter = new QLabel;
            m_counter->setObjectName("LimitCounter");
            m_counter->setTextInteractionFlags(Qt::TextSelectableByMouse);
            box->addWidget(m_counter, 1);
            auto* reset = new QPushButton(UiText(kGuiLimitReset, ""));
            reset->setObjectName("LimitReset");
            reset->setAutoDefault(false);
            reset->setEnabled(static_cast<bool>(context.resetTraffic));
            box->addWidget(reset);
            form->addRow(UiText(kGuiLimitCounter, ""), row);
            const auto show = [this, count = context.trafficCount] {
                m_counter->setText(
                    QString::fromStdString(GroupDigits(static_cast<std::int64_t>(count()))));
            };
            show();
            QObject::connect(reset, &QPushButton::clicked, this,
                             [show, resetTraffic = context.resetTraffic] {
                                 resetTraffic();
                                 show();
                             });
        }
    }

    void Store(PreferencesData& data) override {
        AppSettings& s = data.settings;
        s.MaxThreads = IntOf(m_threads);
        s.Connections = IntOf(m_connections);
        s.NotNeededAction = IsOn(m_disposable);
        s.AbortMode = m_abort->currentIndex();
        s.OnEndSession = m_onEnd->currentIndex();
        s.LimitTrace = IsOn(m_trace);
        s.LimitSum = TextOf(m_sum);
    }

private:
    QSpinBox* m_threads;
    QSpinBox* m_connections;
    QCheckBox* m_disposable;
    QComboBox* m_abort;
    QComboBox* m_onEnd;
    QCheckBox* m_trace;
    QLineEdit* m_sum;
    QLabel* m_counter = nullptr;
};

class LogPage : public PreferencesPage {
public:
    explicit LogPage(const AppSettings& s) {
        auto* form = new QFormLayout(this);
        m_write = AddCheck(form, "WriteLog", kGuiLogToFile, s.WriteLog);
        m_size = AddSpin(form, kMainSection, "MaxLogSize", kGuiMaxLogSize, s.MaxLogSize);
        m_detail = AddSpin(form, kMainSection, "LogDetail", kGuiLogDetail, s.LogDetail);
        m_debug = AddCheck(form, "Debug", kGuiPrefDebug, s.Debug);
    }

    void Store(PreferencesData& data) override {
        AppSettings& s = data.settings;
        s.WriteLog = IsOn(m_write);
        s.MaxLogSize = IntOf(m_size);
        s.LogDetail = IntOf(m_detail);
        s.Debug = IsOn(m_debug);
    }

private:
    QCheckBox* m_write;
    QSpinBox* m_size;
    QSpinBox* m_detail;
    QCheckBox* m_debug;
};

}  // namespace

PreferencesPage* MakeSessionPage(const PreferencesData& data, const PreferencesContext& context) {
    return new SessionPage(data.settings, context);
}

PreferencesPage* MakeLogPage(const PreferencesData& data) {
    return new LogPage(data.settings);
}

}  // namespace kov
