// A second program beside Lumivex whose control ids are watched while Lumivex's frame closes with
// thread windows open: it shows a window of many numbered controls, opens more thread windows in
// the running Lumivex (File > New, as a user does), closes the frame the way a user would, and
// then reads its own controls' ids back.
// Usage: frame_close_watch [thread windows to add]
// Exit code 0 when every id stayed, 1 when Lumivex's frame never came, 2 when it did not open the
// thread windows or did not close, 3 when ids changed (each printed).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const int kControls = 1500;
const int kFirstId = 1000;
const UINT kFileNew = 57600;

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Waits up to `seconds` for the condition, pumping this program's own windows meanwhile.
template <typename Condition>
bool WaitFor(Condition done, int seconds) {
  for (int i = 0; i < seconds * 20; ++i) {
    Pump();
    if (done()) return true;
    Sleep(50);
  }
  return done();
}

int ThreadWindows(HWND client) {
  int n = 0;
  for (HWND child = GetWindow(client, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (GetWindowLongA(child, GWL_EXSTYLE) & WS_EX_MDICHILD) ++n;
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  const int add = argc > 1 ? std::atoi(argv[1]) : 3;
  // Visible controls: Wine renumbers only visible windows, and many of them make it likely that
  // stale handles land on ours.
  HWND watched = CreateWindowExA(0, "STATIC", "Control ids", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 700, 0, 560, 400,
                                 nullptr, nullptr, nullptr, nullptr);
  if (!watched) return 2;
  std::vector<HWND> controls;
  for (int i = 0; i < kControls; ++i) {
    HWND control = CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE, (i % 50) * 11, (i / 50) * 12, 10, 11,
                                   watched, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + i)), nullptr,
                                   nullptr);
    if (!control) return 2;
    controls.push_back(control);
  }
  Pump();

  HWND frame = nullptr;
  if (!WaitFor([&] { return (frame = FindWindowA("LumivexMainFrame", nullptr)) != nullptr; }, 30)) {
    std::fprintf(stderr, "frame_close_watch: no main window\n");
    return 1;
  }
  HWND client = nullptr;
  if (!WaitFor([&] { return (client = FindWindowExA(frame, nullptr, "MDIClient", nullptr)) != nullptr; }, 30) ||
      !WaitFor([&] { return ThreadWindows(client) >= 1; }, 30)) {
    std::fprintf(stderr, "frame_close_watch: the frame has no thread window\n");
    return 2;
  }
  const int before = ThreadWindows(client);
  for (int i = 0; i < add; ++i) PostMessageA(frame, WM_COMMAND, MAKEWPARAM(kFileNew, 0), 0);
  if (!WaitFor([&] { return ThreadWindows(client) >= before + add; }, 30)) {
    std::fprintf(stderr, "frame_close_watch: %d thread windows, %d expected\n", ThreadWindows(client), before + add);
    return 2;
  }
  std::printf("closing the frame with %d thread windows open\n", ThreadWindows(client));
  std::fflush(stdout);
  PostMessageA(frame, WM_CLOSE, 0, 0);
  if (!WaitFor([&] { return !IsWindow(frame); }, 30)) {
    std::fprintf(stderr, "frame_close_watch: the main window stayed\n");
    return 2;
  }
  Sleep(500);
  Pump();

  int changed = 0;
  for (int i = 0; i < kControls; ++i) {
    LONG_PTR id = GetWindowLongPtrA(controls[i], GWLP_ID);
    if (id != kFirstId + i) {
      std::printf("control %d: id %d became 0x%lX\n", i, kFirstId + i, static_cast<unsigned long>(id));
      ++changed;
    }
  }
  DestroyWindow(watched);
  std::printf("%d of %d control ids changed\n", changed, kControls);
  return changed ? 3 : 0;
}
