// The base of every settings page (the four tabs and the side pages of the projector
// dialog, and the group dialog's pages).
//
// How a page plugs in:
//   - Derive from CSettingsPage, build the controls in the constructor (give each control
//     with an id its objectName through Control<T>(id, ...)), and disable what starts
//     disabled.
//   - Override ParseReply: the frame passes every reply the page reads (the shared control
//     reply for the tab pages; "query=network"/"user"/"alert" replies for the side pages).
//   - Send commands with Send(body): the page is the request's owner, and its reply comes
//     back to OnReply with the slot's body and reply. A page of the projector dialog derives
//     from CProjectorPage and after a failed command calls RequestFreshState (flush +
//     control query, only while the frame still exists); a page of the group dialog derives
//     from CGroupPage (group_page.h).
//   - Override OnDropped for requests the ring dropped unsent (ring full, superseded by the
//     next request, or a change discarded by another owner's flush marker): enable the control that waits for that reply again and put it
//     back; the frame's next control reply brings the projector's real state. Do not flush
//     here: it would also discard the request that superseded the dropped one.
//   - Numeric fields: NumberField bundles edit, up-down and "Set" button; ReadInt runs the
//     range check with the operator's message.
//   - Hand the page to the frame: CPrjSetDlg::MakeTabPage / MakeSidePage create it.
#pragma once

#include <QWidget>
#include <string>

#include "protocol/records.h"
#include "settings/common/qt_reply_sink.h"

class QLineEdit;

namespace vistrel {

class PageFrame;
class SettingsFrame;
class CSetButton;
class CUpDown;

// The objectName of a control with an id ("c1112").
QString ControlName(int id);

// An edit with its up-down and its small "Set" button (either may be absent).
struct NumberField {
    QLineEdit* edit = nullptr;
    CUpDown* upDown = nullptr;
    CSetButton* set = nullptr;
};

class CSettingsPage : public QWidget {
    Q_OBJECT
  public:
    // `frameWidget` is the frame as a widget, watched so the page can tell it is gone.
    CSettingsPage(PageFrame& frame, QWidget* frameWidget, QWidget* parent);

    // A reply the frame passes on. The default ignores it.
    virtual void ParseReply(const std::string& reply);
    // The projector gave no usable control reply (no answer, its time-out text, or an
    // unreadable one): the page offers nothing that needs the projector's state until a
    // control reply comes. The default does nothing.
    virtual void ShowNotAnswering();

    // The page as a request owner.
    std::weak_ptr<ReplySink> Owner() const { return sink_.Weak(); }

    // Reads a whole number from `edit` within low..high. On failure shows "Please enter an
    // integer." or "Please enter an integer between %1 and %2." in a message box titled
    // with the application's name, puts the focus on the edit and returns false. `tell`
    // false fails without a word (for reads the operator did not start, such as on a reply).
    bool ReadInt(QLineEdit* edit, int low, int high, int& out, bool tell = true);

  protected:
    // Queues a request for the dialog's projector with this page as its owner.
    void Send(const std::string& body);
    // The frame, or null once its window has gone.
    PageFrame* Frame() const;
    // The frame's notice line, if the frame lives.
    void Notice(const std::string& text);
    // Says on the notice line which request of `slot` failed, where and why.
    void ReportFailure(const MsgCmd& slot);

    // The reply to one of this page's requests (message 0x464).
    virtual void OnReply(const MsgCmd& slot);
    // One of this page's requests was dropped unsent; no reply will come for it.
    virtual void OnDropped(const std::string& body);

    // A child control with an id, named for tests.
    template <typename T, typename... Args>
    T* Control(int id, Args&&... args) {
        auto* widget = new T(std::forward<Args>(args)..., this);
        widget->setObjectName(ControlName(id));
        return widget;
    }
    // Edit `editId` with up-down `upDownId` (range low..high) and "Set" `setId`; an id of 0
    // leaves that part out.
    NumberField MakeNumberField(int editId, int upDownId, int setId, int low, int high);

    // Enter does nothing on a page (it must not end the dialog by accident); Escape goes on to
    // the dialog, which closes, wherever the focus is.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void HandlePost(uint32_t message, uintptr_t wparam);

    PageFrame& frame_;
    QPointer<QWidget> frameWidget_;
    ReplySinkHolder sink_;
};

// A page of the projector dialog: its frame also refreshes the projector's state.
class CProjectorPage : public CSettingsPage {
    Q_OBJECT
  public:
    CProjectorPage(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent);

  protected:
    // The frame, or null once its window has gone.
    SettingsFrame* Frame() const;
    // After a failed command: flush and ask for a fresh control reply, if the frame lives.
    void RequestFreshState();

  private:
    SettingsFrame& projectorFrame_;
};

// A page that is not built yet: empty, reads nothing, sends nothing.
class CEmptyPage : public CSettingsPage {
    Q_OBJECT
  public:
    using CSettingsPage::CSettingsPage;
};

}  // namespace vistrel
