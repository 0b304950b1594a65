// The main window as scripts see it ("AutoWindow"): its caption, visibility and window state,
// and bringing it to the front. Every member reaches the window through messages, so the
// script thread never paints on the frame's thread.
#pragma once
#include "LXActiveScript_h.h"
#include "lumivex/atl.h"

class CAutoWindow : public IDispatchImpl<IExtAutoWindow, &IID_IExtAutoWindow>, public CComObjectRootEx {
 public:
  IUnknown* GetUnknown() { return static_cast<IExtAutoWindow*>(this); }
  HRESULT _InternalQueryInterface(REFIID iid, void** ppv);
  HRESULT FinalConstruct() { return S_OK; }
  void FinalRelease() {}
  void SetWindow(HWND window) { window_ = window; }

  STDMETHOD(get_Caption)(BSTR* caption) override;
  STDMETHOD(put_Caption)(BSTR caption) override;
  STDMETHOD(get_Visible)(VARIANT_BOOL* visible) override;
  STDMETHOD(put_Visible)(VARIANT_BOOL visible) override;
  STDMETHOD(get_WindowState)(LONG* state) override;
  STDMETHOD(put_WindowState)(LONG state) override;
  STDMETHOD(Activate)() override;

 private:
  HWND window_ = nullptr;
};

// A new AutoWindow for the window, with one reference; null when it cannot be made.
IDispatch* CreateAutoWindow(HWND window);
