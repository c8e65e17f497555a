#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "core/ui_text_ids.h"
#include "ui/prefs_pages.h"

namespace kov {

namespace {

class SessionPage : public PrefsPage {
public:
    explicit SessionPage(const AppSettings& s) {
        auto* form = new QFormLayout(this);
        m_threads = AddSpin(form, "MaxThreads", kGuiMaxThreads, 1, 32, s.MaxThreads);
        m_disposable = AddCheck(form, "NotNeededAction", kGuiDeleteDisposable, s.NotNeededAction);
        // The choices stand in the order of the setting's values.
        m_abort = AddChoice(form, "AbortMode", kGuiStopActions, {kGuiStopAction2, kGuiStopAction1},
                            s.AbortMode);
        m_onEnd =
            AddChoice(form, "OnEndSession", kGuiOnEndSession,
                      {kGuiOnEndSession1, kGuiOnEndSession3, kGuiOnEndSession2}, s.OnEndSession);
        m_trace = AddCheck(form, "LimitTrace", kGuiLimitTraceActive, s.LimitTrace);
        m_sum = AddLine(form, "LimitSum", kGuiLimitSum, s.LimitSum, 127);
        // The session reads anything but a plain number as no limit at all; 19 digits always
        // fit the 64-bit counter.
        m_sum->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9]{0,19}")), m_sum));
    }

    void Store(PrefsData& data) override {
        AppSettings& s = data.settings;
        s.MaxThreads = IntOf(m_threads);
        s.NotNeededAction = IsOn(m_disposable);
        s.AbortMode = m_abort->currentIndex();
        s.OnEndSession = m_onEnd->currentIndex();
        s.LimitTrace = IsOn(m_trace);
        s.LimitSum = TextOf(m_sum);
    }

private:
    QSpinBox* m_threads;
    QCheckBox* m_disposable;
    QComboBox* m_abort;
    QComboBox* m_onEnd;
    QCheckBox* m_trace;
    QLineEdit* m_sum;
};

class LogPage : public PrefsPage {
public:
    explicit LogPage(const AppSettings& s) {
        auto* form = new QFormLayout(this);
        m_write = AddCheck(form, "WriteLog", kGuiLogToFile, s.WriteLog);
        m_size = AddSpin(form, "MaxLogSize", kGuiMaxLogSize, 0, 1 << 30, s.MaxLogSize);
        m_detail = AddSpin(form, "LogDetail", kGuiLogDetail, 0, 2, s.LogDetail);
        m_debug = AddCheck(form, "Debug", kGuiPrefDebug, s.Debug);
    }

    void Store(PrefsData& data) override {
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

PrefsPage* MakeSessionPage(const PrefsData& data) {
    return new SessionPage(data.settings);
}

PrefsPage* MakeLogPage(const PrefsData& data) {
    return new LogPage(data.settings);
}

}  // namespace kov
