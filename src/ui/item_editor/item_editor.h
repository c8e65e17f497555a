#pragma once

#include <QDialog>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "model/macro_expander.h"
#include "model/url_item.h"
#include "ui/item_editor/item_editor_enabling.h"

class QAbstractButton;
class QBoxLayout;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace kov {

class NumberField;

// What the editor needs besides the item.
struct ItemEditorSetup {
    UrlItem item;  // the first selected row's item, or a new one
    bool multiple = false;
    bool isNew = false;
    std::string listFolder;  // the current list's default folder
    std::vector<std::string> recentPaths;
    MacroContext macros;  // for the preview and the local path; now is taken at each use
    std::int32_t defaultStopNumber = 0;  // the new-URL default of StopNumber
    std::string fileMasks;               // the text files a folder replace works on
    bool sendQueryAllowed = true;
    // A new item: what the new-URL defaults make of an address. Until the user edits them, the
    // name, referrer and destination follow the URL as it is typed.
    std::function<UrlItem(const std::string& url)> newItemFor;
};

// The dialogs the editor opens through its caller.
struct ItemEditorHooks {
    std::function<void(QWidget* parent, const UrlItem& item)> testUrl;
    // Both return whether they changed the item.
    std::function<bool(QWidget* parent, UrlItem& item)> distributed;
    std::function<bool(QWidget* parent, UrlItem& item)> sendQuery;
    std::function<void(const std::string& path)> useRecentPath;
};

// Creates and changes list items: one at a time, or the fields the user changes in several
// selected rows at once ("Multiple URLs editing"). Works on a copy; nothing reaches a row
// before the caller applies the result after OK.
class ItemEditor : public QDialog {
    Q_OBJECT
public:
    // The editable fields; each has its own changed flag.
    enum class Field {
        Name,
        Url,
        Referer,
        Dest,
        Interval,
        DayShift,
        Days,
        UserName,
        UserPsw,
        ConType,
        UpdateMode,
        WithPics,
        WithLinks,
        NestedDepth,
        RipBanners,
        ClearFolder,
        NfSize,
        NfString,
        NumBased,
        CurrentNum,
        StopNumber,
        Tolerance,
        Cmd,
        EnableReplace,
        Disabled,
        Connections,
        Rules,
        Upload,       // the five upload fields
        Distributed,  // the distributed-download fields
        Count
    };
    enum class Button {
        UrlTest,
        FileNameTest,
        Folder,
        SearchReplace,
        ApplyRules,
        RestoreFolder,
        Upload,
        Distributed,
        SendQuery,
        RunCmd,
        Count
    };

    ItemEditor(ItemEditorSetup setup, ItemEditorHooks hooks = {}, QWidget* parent = nullptr);
    ~ItemEditor() override;

    // The working copy: the item as shown.
    const UrlItem& Item() const { return m_item; }
    bool Changed(Field field) const { return m_changed[Index(field)]; }
    // Writes the edit into a row's item: every field of the dialog for one item, only the
    // changed ones in multiple mode. Fields the dialog does not show keep the row's values.
    void ApplyTo(UrlItem& target) const;

    QWidget* Control(Field field) const { return m_controls[Index(field)]; }
    QAbstractButton* ButtonOf(Button button) const { return m_buttons[Index(button)]; }
    // Why OK was refused ("" when it was not).
    QString Problem() const;

    // The local file a download would write now (the shifted date, CurrentNum).
    std::string LocalPathNow() const;
    // The template expanded for today: the URL and the local path.
    QString PreviewText() const;

    // Notifications while the dialog is open on a row: the session advanced the series, or
    // a once-only item finished.
    void ShowCurrentNum(std::int32_t number);
    void TickDisabled();

    void accept() override;

private:
    template <typename E>
    static std::size_t Index(E e) {
        return static_cast<std::size_t>(e);
    }
    // The dialog is built group box by group box, in the order of its tab chain.
    void Build();
    void AddAddressRows(QFormLayout* form);
    void AddDateRows(QFormLayout* form);
    void AddChoiceRows(QFormLayout* form);
    void AddSeriesBox(QBoxLayout* column);
    void AddPageBoxes(QBoxLayout* column);
    void AddAfterBox(QBoxLayout* column);
    void AddBottom(QVBoxLayout* top);
    void ConnectButtons();
    // A group box added to column (untitled when textId is 0); returns its form.
    QFormLayout* Group(QBoxLayout* column, int textId, const char* english, int stretch = 0);
    QLabel* Label(int textId, const char* english);
    // The widgets that control's state switches on and off.
    void Note(EditorControl control, std::initializer_list<QWidget*> widgets);
    // Text and number fields take their capacity and range from the item's field table.
    QLineEdit* AddText(Field field, const std::string& text);
    NumberField* AddNumber(Field field, std::int32_t value);
    QCheckBox* AddCheck(Field field, int textId, const char* english, std::int32_t value);
    QPushButton* AddButton(Button button, const QString& text);
    void Edited(Field field);
    void TakeControl(Field field);
    void Refresh();
    void NameLeft();
    void FollowUrl();
    void SeriesSwitched(bool on);
    void ChooseFolder();
    void EditRules(int how);
    void EditUpload();
    void RunCmd();
    bool Check(bool moveFocus);

    UrlItem m_item;
    ItemEditorSetup m_setup;
    ItemEditorHooks m_hooks;
    bool m_initialised = false;
    bool m_querySent = false;  // "Send query" succeeded
    std::array<bool, static_cast<std::size_t>(Field::Count)> m_changed{};
    std::array<QWidget*, static_cast<std::size_t>(Field::Count)> m_controls{};
    std::array<QAbstractButton*, static_cast<std::size_t>(Button::Count)> m_buttons{};
    std::vector<QWidget*> m_labels[static_cast<std::size_t>(EditorControl::Count)];
    QComboBox* m_dest = nullptr;
    QLabel* m_preview = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_ok = nullptr;
    // Commands started with the Run button; stopped and joined when the dialog goes.
    std::shared_ptr<std::atomic<int>> m_cmdStop;
    std::vector<std::thread> m_commands;
};

}  // namespace kov
