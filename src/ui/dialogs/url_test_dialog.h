#pragma once

#include <QDialog>
#include <ctime>
#include <memory>

#include "core/settings/app_settings.h"
#include "model/macro_expander.h"
#include "model/url_item.h"

class QLabel;
class QProgressBar;
class QPlainTextEdit;

namespace kov {

class BackgroundTask;
struct ResourceInfo;

// What a download of an item would find now, without downloading it: the server's figures
// beside those of the local copy. The probe runs on a thread of its own; closing the dialog
// does not wait for it (it ends unseen and is told to stop).
class UrlTestDialog : public QDialog {
    Q_OBJECT
public:
    enum class Field {
        Url,
        FinalUrl,
        FileSize,
        Modified,
        ContentType,
        Partial,
        LocalSize,
        LocalTime,
        LastDownload,
        Origin,
        LocalNetwork,
    };

    // The probe starts when the dialog is first shown (or with Start).
    UrlTestDialog(const UrlItem& item, const AppSettings& settings, const MacroContext& macros,
                  QWidget* parent = nullptr);
    ~UrlTestDialog() override;

    void Start();
    bool Probing() const;
    // The text a field shows; "" for a hidden one.
    QString FieldText(Field field) const;

signals:
    void probeFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void Build();
    void ShowLocalCopy(const std::string& finalUrl);
    void ShowResult(unsigned flags, const ResourceInfo& info, bool redirected, int error);

    UrlItem m_item;
    MacroContext m_macros;
    std::shared_ptr<const AppSettings> m_settings;  // the probe thread's own copy
    std::unique_ptr<BackgroundTask> m_task;
    bool m_started = false;
    std::time_t m_moment = 0;
    std::string m_expandedUrl;
    QPlainTextEdit* m_url = nullptr;
    QLabel* m_final = nullptr;
    QLabel* m_size = nullptr;
    QLabel* m_modified = nullptr;
    QLabel* m_type = nullptr;
    QLabel* m_partial = nullptr;
    QLabel* m_localSize = nullptr;
    QLabel* m_localTime = nullptr;
    QLabel* m_lastDownload = nullptr;
    QLabel* m_origin = nullptr;
    QLabel* m_localNetwork = nullptr;
    QProgressBar* m_busy = nullptr;
};

// Opens the test of item (the window's "Get URL info" and the item editor's button) and
// returns when the user closes it.
void ShowUrlTest(QWidget* parent, const UrlItem& item, const AppSettings& settings,
                 const MacroContext& macros);

}  // namespace kov
