#include "auto_window.h"

HRESULT CAutoWindow::_InternalQueryInterface(REFIID iid, void** ppv) {
  if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IExtAutoWindow)) *ppv = static_cast<IExtAutoWindow*>(this);
  return *ppv ? S_OK : E_NOINTERFACE;
}

STDMETHODIMP CAutoWindow::get_Caption(BSTR* caption) {
  if (!caption) return E_POINTER;
  *caption = nullptr;
  if (!IsWindow(window_)) return E_HANDLE;
  int n = GetWindowTextLengthW(window_);
  *caption = SysAllocStringLen(nullptr, static_cast<UINT>(n));
  if (!*caption) return E_OUTOFMEMORY;
  GetWindowTextW(window_, *caption, n + 1);
  return S_OK;
}

STDMETHODIMP CAutoWindow::put_Caption(BSTR caption) {
  if (!IsWindow(window_)) return E_HANDLE;
  SetWindowTextW(window_, caption ? caption : L"");
  return S_OK;
}

STDMETHODIMP CAutoWindow::get_Visible(VARIANT_BOOL* visible) {
  if (!visible) return E_POINTER;
  *visible = IsWindowVisible(window_) ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CAutoWindow::put_Visible(VARIANT_BOOL visible) {
  if (!IsWindow(window_)) return E_HANDLE;
  ShowWindowAsync(window_, visible ? SW_SHOW : SW_HIDE);
  return S_OK;
}

// 0 normal, 1 minimised, 2 maximised.
STDMETHODIMP CAutoWindow::get_WindowState(LONG* state) {
  if (!state) return E_POINTER;
  *state = IsIconic(window_) ? 1 : IsZoomed(window_) ? 2 : 0;
  return S_OK;
}

STDMETHODIMP CAutoWindow::put_WindowState(LONG state) {
  if (!IsWindow(window_)) return E_HANDLE;
  static const int kShow[] = {SW_RESTORE, SW_MINIMIZE, SW_MAXIMIZE};
  if (state < 0 || state > 2) return E_INVALIDARG;
  ShowWindowAsync(window_, kShow[state]);
  return S_OK;
}

STDMETHODIMP CAutoWindow::Activate() {
  if (!IsWindow(window_)) return E_HANDLE;
  SetForegroundWindow(window_);
  return S_OK;
}

IDispatch* CreateAutoWindow(HWND window) {
  CComObject<CAutoWindow>* object = nullptr;
  if (FAILED(CComObject<CAutoWindow>::CreateInstance(&object))) return nullptr;
  object->SetWindow(window);
  object->AddRef();
  return static_cast<IExtAutoWindow*>(object);
}
