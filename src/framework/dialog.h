// Modal dialogs made from DIALOGEX templates in the module's resources. A
// derived dialog overrides OnInitDialog, DoDataExchange, OnOK, OnCancel and
// the command, notification and message hooks it needs; the object is
// attached to its window for the window's life and detached when the window
// goes. Fonts and icons adopted by the dialog are destroyed with its window.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "framework/handles.h"

namespace qvx::fw {

// Copies fields to the dialog's controls (loading) or back (saving).
class DataExchange {
 public:
  DataExchange(HWND dialog, bool saving) : dialog_(dialog), saving_(saving) {}
  bool Saving() const { return saving_; }

  // An edit or static text as ANSI text.
  void Text(int id, std::string& value);
  // A check box: BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
  void Check(int id, int& value);
  // A radio group that starts at firstId and runs up to the next control
  // with WS_GROUP: the index of the checked button, -1 when none is.
  void Radio(int firstId, int& index);

 private:
  HWND dialog_;
  bool saving_;
};

class CDialog {
 public:
  explicit CDialog(UINT templateId, HWND owner = nullptr) : templateId_(templateId), owner_(owner) {}
  virtual ~CDialog() = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog modally, inside the module's own activation context (its
  // manifest asks for the version 6 common controls, whatever the host's
  // says). Returns the value given to EndDialog, or -1 when the dialog could
  // not be made. Without an owner it is owned by the
  // thread's active window, else by the thread's main window.
  INT_PTR DoModal();
  HWND Hwnd() const { return hwnd_; }

 protected:
  // Loads the fields into the controls; return FALSE when the focus was set.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(DataExchange&) {}
  // Saves the fields and ends with IDOK; stays open when saving fails.
  virtual void OnOK();
  virtual void OnCancel();
  // Return true when the command was handled. The base routes IDOK and IDCANCEL.
  virtual bool OnCommand(WORD id, WORD code, HWND control);
  virtual bool OnNotify(const NMHDR&, LRESULT&) { return false; }
  // Any other message (timers, private messages); set handled when taken.
  virtual INT_PTR OnMessage(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
  }

  bool UpdateData(bool save);
  void EndDialog(INT_PTR result);
  HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
  // The dialog destroys these when its window goes.
  HFONT AdoptFont(HFONT font);
  // The font of the first item at weight 600 (semibold), set on every item.
  void SetBoldFont(std::initializer_list<int> ids);
  HICON AdoptIcon(HICON icon);
  HGDIOBJ AdoptObject(HGDIOBJ object) { return AdoptFont(static_cast<HFONT>(object)); }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  void Detach();

  UINT templateId_;
  HWND owner_;
  HWND hwnd_ = nullptr;
  std::vector<unique_hgdiobj> fonts_;
  std::vector<unique_hicon> icons_;
};

// The thread's main window: its first visible top-level window without an
// owner, in z-order; nullptr when it has none.
HWND ThreadMainWindow();

// Gives back the activation context the module's dialogs run in, when the
// module is about to be unloaded.
void ReleaseDialogActivationContext();

}  // namespace qvx::fw
