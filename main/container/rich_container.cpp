#include "rich_container.h"

#include <ole2.h>
#include <oledlg.h>
#include <richedit.h>
#include <richole.h>

#include <cstdio>

#include "lumivex/prompt.h"

namespace lx {
namespace container {

namespace {

// Storage in memory for one object.
HRESULT NewStorage(IStorage** storage) {
  *storage = nullptr;
  ILockBytes* bytes = nullptr;
  HRESULT hr = CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes);
  if (FAILED(hr)) return hr;
  hr = StgCreateDocfileOnILockBytes(bytes, STGM_SHARE_EXCLUSIVE | STGM_CREATE | STGM_READWRITE, 0, storage);
  bytes->Release();
  return hr;
}

// What the rich edit asks of its container. Objects open in windows of their own (no in-place
// activation); the view is read-only, so nothing is dropped or pasted into it.
class Callback final : public IRichEditOleCallback {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IRichEditOleCallback) {
      *out = static_cast<IRichEditOleCallback*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  STDMETHODIMP GetNewStorage(LPSTORAGE* storage) override { return NewStorage(storage); }
  STDMETHODIMP GetInPlaceContext(LPOLEINPLACEFRAME*, LPOLEINPLACEUIWINDOW*, LPOLEINPLACEFRAMEINFO) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP ShowContainerUI(BOOL) override { return S_OK; }
  STDMETHODIMP QueryInsertObject(LPCLSID, LPSTORAGE, LONG) override { return S_OK; }
  STDMETHODIMP DeleteObject(LPOLEOBJECT) override { return S_OK; }
  STDMETHODIMP QueryAcceptData(LPDATAOBJECT, CLIPFORMAT*, DWORD, BOOL, HGLOBAL) override { return E_NOTIMPL; }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
  STDMETHODIMP GetClipboardData(CHARRANGE*, DWORD, LPDATAOBJECT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetDragDropEffect(BOOL, DWORD, LPDWORD effect) override {
    *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  STDMETHODIMP GetContextMenu(WORD, LPOLEOBJECT, CHARRANGE*, HMENU*) override { return E_NOTIMPL; }

 private:
  LONG refs_ = 1;
};

IRichEditOle* OleOf(HWND richEdit) {
  IRichEditOle* ole = nullptr;
  if (!richEdit || !::SendMessageA(richEdit, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(&ole))) return nullptr;
  return ole;
}

void Say(HWND owner, const char* text) { LxMessageBox(owner, text, "Lumivex", MB_OK | MB_ICONEXCLAMATION); }

void SayResult(HWND owner, const char* what, HRESULT hr) {
  char text[512];
  const char* why = "";
  if (hr == REGDB_E_CLASSNOTREG || hr == CO_E_CLASSSTRING || hr == REGDB_E_KEYMISSING || hr == MK_E_INVALIDEXTENSION)
    why = "\nNo program on this system serves that kind of object.";
  else if (hr == E_NOTIMPL)
    why = "\nThe program registered for that kind of object cannot make one.";
  std::snprintf(text, sizeof text, "%s (error 0x%08lX).%s", what, static_cast<unsigned long>(hr), why);
  Say(owner, text);
}

// The selected object with its site, or false when the selection is no object.
bool SelectedObject(IRichEditOle* ole, REOBJECT* reo) {
  *reo = REOBJECT();
  reo->cbStruct = sizeof *reo;
  if (ole->GetObject(REO_IOB_SELECTION, reo, REO_GETOBJ_POLEOBJ | REO_GETOBJ_POLESITE) != S_OK) return false;
  if (reo->poleobj) return true;
  if (reo->polesite) reo->polesite->Release();
  return false;
}

void ReleaseObject(REOBJECT* reo) {
  if (reo->poleobj) reo->poleobj->Release();
  if (reo->polesite) reo->polesite->Release();
  if (reo->pstg) reo->pstg->Release();
}

// Verbs the object offers; its primary verb when it cannot list them.
LONG VerbCount(IOleObject* object) {
  IEnumOLEVERB* verbs = nullptr;
  if (FAILED(object->EnumVerbs(&verbs)) || !verbs) return 1;
  LONG count = 0;
  OLEVERB verb;
  ULONG got = 0;
  while (verbs->Next(1, &verb, &got) == S_OK && got == 1) {
    if (verb.lVerb >= 0) ++count;
    CoTaskMemFree(verb.lpszVerbName);
  }
  verbs->Release();
  return count;
}

void InsertNewObject(HWND owner, HWND richEdit) {
  IRichEditOle* ole = OleOf(richEdit);
  if (!ole) {
    Say(owner, "This window cannot hold objects.");
    return;
  }
  IOleClientSite* site = nullptr;
  IStorage* storage = nullptr;
  HRESULT hr = ole->GetClientSite(&site);
  if (SUCCEEDED(hr)) hr = NewStorage(&storage);
  if (FAILED(hr)) {
    SayResult(owner, "No storage could be made for a new object", hr);
  } else {
    IOleObject* object = nullptr;
    char file[MAX_PATH] = "";
    OLEUIINSERTOBJECTA request = {};
    request.cbStruct = sizeof request;
    request.dwFlags = IOF_SELECTCREATENEW | IOF_CREATENEWOBJECT | IOF_CREATEFILEOBJECT | IOF_DISABLELINK;
    request.hWndOwner = owner;
    request.lpszFile = file;
    request.cchFile = sizeof file;
    request.iid = IID_IOleObject;
    request.oleRender = OLERENDER_DRAW;
    request.lpIOleClientSite = site;
    request.lpIStorage = storage;
    request.ppvObj = reinterpret_cast<void**>(&object);
    UINT answer = OleUIInsertObjectA(&request);
    // Some systems end the dialog with OLEUI_FALSE, not OLEUI_OK, when the object could not be
    // made, and with OLEUI_FALSE, not OLEUI_CANCEL, when the user cancels: the result code tells.
    if ((answer == OLEUI_OK || answer == OLEUI_FALSE) && FAILED(request.sc)) {
      SayResult(owner, "The object could not be created", request.sc);
    } else if (answer == OLEUI_OK && !object) {
      SayResult(owner, "The object could not be created", E_FAIL);
    } else if (answer == OLEUI_OK) {
      REOBJECT reo = {};
      reo.cbStruct = sizeof reo;
      reo.cp = REO_CP_SELECTION;
      object->GetUserClassID(&reo.clsid);
      reo.poleobj = object;
      reo.pstg = storage;
      reo.polesite = site;
      reo.dvaspect = DVASPECT_CONTENT;
      reo.dwFlags = REO_RESIZABLE;
      OleSetContainedObject(object, TRUE);
      // The view takes no typing, but an object the user asked for goes in.
      ::SendMessageA(richEdit, EM_SETREADONLY, FALSE, 0);
      hr = ole->InsertObject(&reo);
      ::SendMessageA(richEdit, EM_SETREADONLY, TRUE, 0);
      if (FAILED(hr)) {
        object->Close(OLECLOSE_NOSAVE);
        SayResult(owner, "The object could not be put into the window", hr);
      }
    } else if (answer != OLEUI_CANCEL && answer != OLEUI_FALSE) {
      char text[128];
      std::snprintf(text, sizeof text, "The Insert Object dialog could not be shown (code %u).", answer);
      Say(owner, text);
    }
    if (object) object->Release();
  }
  if (storage) storage->Release();
  if (site) site->Release();
  ole->Release();
}

void RunVerb(HWND owner, HWND richEdit, LONG verb) {
  IRichEditOle* ole = OleOf(richEdit);
  REOBJECT reo;
  if (!ole || !SelectedObject(ole, &reo)) {
    Say(owner, "No object is selected.");
    if (ole) ole->Release();
    return;
  }
  RECT rect;
  ::GetClientRect(richEdit, &rect);
  HRESULT hr = reo.poleobj->DoVerb(verb, nullptr, reo.polesite, 0, richEdit, &rect);
  if (FAILED(hr)) SayResult(owner, "The object's command failed", hr);
  ReleaseObject(&reo);
  ole->Release();
}

}  // namespace

bool Attach(HWND richEdit) {
  auto* callback = new Callback;
  bool attached = ::SendMessageA(richEdit, EM_SETOLECALLBACK, 0, reinterpret_cast<LPARAM>(callback)) != 0;
  callback->Release();  // the control keeps its own reference
  return attached;
}

bool IsCommand(UINT id) { return id == kInsertNewObject || (id >= kFirstVerb && id <= kLastVerb); }

bool IsEnabled(HWND richEdit, UINT id) {
  IRichEditOle* ole = OleOf(richEdit);
  if (!ole) return false;
  bool enabled = id == kInsertNewObject;
  REOBJECT reo;
  if (!enabled && id >= kFirstVerb && id <= kLastVerb && SelectedObject(ole, &reo)) {
    enabled = LONG(id - kFirstVerb) < VerbCount(reo.poleobj);
    ReleaseObject(&reo);
  }
  ole->Release();
  return enabled;
}

void Run(HWND owner, HWND richEdit, UINT id) {
  if (id == kInsertNewObject)
    InsertNewObject(owner, richEdit);
  else if (id >= kFirstVerb && id <= kLastVerb)
    RunVerb(owner, richEdit, LONG(id - kFirstVerb));
}

}  // namespace container
}  // namespace lx
