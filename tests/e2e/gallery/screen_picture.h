#pragma once
// What the screen shows, as the user sees it: the desktop's pixels, read back from the display,
// and whether each text and button of a screen has ink where it stands. A screen whose window is
// up but whose controls have not painted yet (or never will) shows its logo and an empty body; a
// count of colours over the whole window cannot tell that from a screen that shows its texts.
// Shared by the gallery and the UI driver (Windows programs only).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace tz::gallery {

// The whole desktop, 24 bits a pixel, top row first.
struct Picture {
  int left = 0, top = 0, width = 0, height = 0, stride = 0;
  std::vector<std::uint8_t> bits;

  bool grab() {
    left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0) return false;
    stride = (width * 3 + 3) & ~3;
    bits.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height), 0);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* section = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &section, nullptr, 0);
    bool ok = false;
    if (bitmap != nullptr && section != nullptr) {
      HGDIOBJ old = SelectObject(memory, bitmap);
      ok = BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY) != 0;
      GdiFlush();
      if (ok) std::memcpy(bits.data(), section, bits.size());
      SelectObject(memory, old);
      DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
  }

  // The part of the picture inside `area` (screen coordinates), as a BMP file.
  bool save_bmp(const char* path, RECT area) const {
    area.left = area.left < left ? left : area.left;
    area.top = area.top < top ? top : area.top;
    area.right = area.right > left + width ? left + width : area.right;
    area.bottom = area.bottom > top + height ? top + height : area.bottom;
    const int cx = area.right - area.left;
    const int cy = area.bottom - area.top;
    if (cx <= 0 || cy <= 0) return false;
    const int out_stride = (cx * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = cx;
    header.biHeight = -cy;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(out_stride * cy);
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    bool written = std::fwrite(&file, sizeof(file), 1, f) == 1 && std::fwrite(&header, sizeof(header), 1, f) == 1;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(out_stride), 0);
    for (int y = 0; y < cy && written; ++y) {
      const std::uint8_t* from = bits.data() + static_cast<std::size_t>(area.top - top + y) * stride +
                                 static_cast<std::size_t>(area.left - left) * 3;
      std::memcpy(row.data(), from, static_cast<std::size_t>(cx) * 3);
      written = std::fwrite(row.data(), row.size(), 1, f) == 1;
    }
    return std::fclose(f) == 0 && written;
  }

  RECT whole() const { return RECT{left, top, left + width, top + height}; }

  // Pixels inside `area` that stand out from the area's own most common colour: the strokes of a
  // text or a label drawn on its background.
  std::size_t ink(RECT area) const {
    const int x0 = area.left > left ? area.left - left : 0;
    const int y0 = area.top > top ? area.top - top : 0;
    const int x1 = area.right - left < width ? area.right - left : width;
    const int y1 = area.bottom - top < height ? area.bottom - top : height;
    if (x1 <= x0 || y1 <= y0) return 0;
    auto colour = [&](int x, int y) {
      const std::uint8_t* p = bits.data() + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3;
      return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16);
    };
    std::map<std::uint32_t, std::size_t> counts;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) ++counts[colour(x, y)];
    }
    std::uint32_t background = 0;
    std::size_t most = 0;
    for (const auto& [c, n] : counts) {
      if (n > most) most = n, background = c;
    }
    auto channel = [](std::uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); };
    std::size_t inked = 0;
    for (const auto& [c, n] : counts) {
      int distance = 0;
      for (const int shift : {0, 8, 16}) {
        const int d = channel(c, shift) - channel(background, shift);
        distance += d < 0 ? -d : d;
      }
      if (distance > 96) inked += n;
    }
    return inked;
  }
};

// A control needs ink when it shows a text of its own: a text control (not a picture) or a push
// button with a label that is not blank, or a list with a line chosen. Its rectangle on the screen,
// a button's without its frame, a drop-down list's without its arrow.
inline bool needs_ink(HWND control, RECT& area) {
  if (!IsWindowVisible(control)) return false;
  wchar_t name[32] = {};
  GetClassNameW(control, name, 32);
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  wchar_t text[256] = {};
  GetWindowTextW(control, text, 256);
  bool blank = true;
  for (const wchar_t* c = text; *c != L'\0'; ++c) blank = blank && (*c == L' ' || *c == L'\n' || *c == L'\r');
  GetWindowRect(control, &area);
  if (lstrcmpiW(name, L"Static") == 0) {
    const LONG type = style & SS_TYPEMASK;
    return !blank &&
           (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP);
  }
  if (lstrcmpiW(name, L"Button") == 0) {
    const LONG type = style & 0x0F;
    InflateRect(&area, -4, -4);
    return !blank && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
  }
  if (lstrcmpiW(name, L"ComboBox") == 0) {
    DWORD_PTR chosen = static_cast<DWORD_PTR>(CB_ERR);
    if (SendMessageTimeoutW(control, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 2000, &chosen) == 0) return false;
    InflateRect(&area, -3, -3);
    area.right -= GetSystemMetrics(SM_CXVSCROLL);
    return static_cast<LRESULT>(chosen) >= 0;
  }
  return false;
}

struct Unpainted {
  HWND window;
  const Picture& picture;
  std::string list;  // "ID, ID": the controls with nothing on the screen
};

inline BOOL CALLBACK note_unpainted(HWND control, LPARAM context) {
  auto& u = *reinterpret_cast<Unpainted*>(context);
  if (GetParent(control) != u.window) return TRUE;
  RECT area{};
  if (needs_ink(control, area) && u.picture.ink(area) < 5) {
    u.list += (u.list.empty() ? "" : ", ") + std::to_string(GetDlgCtrlID(control));
  }
  return TRUE;
}

// The controls of `window` that should show a text or a label and show none in the picture; empty
// when every one has painted.
inline std::string unpainted_controls(HWND window, const Picture& picture) {
  Unpainted u{window, picture, {}};
  EnumChildWindows(window, note_unpainted, reinterpret_cast<LPARAM>(&u));
  return u.list;
}

// ---- how a screen is laid out at the display's scale ----

inline std::string describe_rect(const RECT& r) {
  char text[64];
  std::snprintf(text, sizeof(text), "(%ld,%ld)-(%ld,%ld)", static_cast<long>(r.left), static_cast<long>(r.top),
                static_cast<long>(r.right), static_cast<long>(r.bottom));
  return text;
}

// A control's rectangle in its screen's client coordinates.
inline RECT client_rect_of(HWND window, HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// What the control's text needs, measured with the control's own font the way the control draws
// it: a static text wraps at its width, a button or a drop-down list keeps one line. Empty when
// the text fits the room the control gives it; else the text's extent against the room.
inline std::string text_cut(HWND control) {
  wchar_t name[32] = {};
  GetClassNameW(control, name, 32);
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  std::wstring text(512, L'\0');
  bool single_line = true;
  RECT room{};
  GetClientRect(control, &room);
  if (lstrcmpiW(name, L"Static") == 0) {
    const LONG type = style & SS_TYPEMASK;
    if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP) return {};
    single_line = type == SS_LEFTNOWORDWRAP;
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  } else if (lstrcmpiW(name, L"Button") == 0) {
    const LONG type = style & 0x0F;
    if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON) return {};
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    // Inside the button's edge and the focus rectangle's margin.
    InflateRect(&room, -3, -2);
  } else if (lstrcmpiW(name, L"ComboBox") == 0) {
    const LRESULT chosen = SendMessageW(control, CB_GETCURSEL, 0, 0);
    if (chosen < 0 || SendMessageW(control, CB_GETLBTEXTLEN, static_cast<WPARAM>(chosen), 0) >= 511) return {};
    text.resize(static_cast<std::size_t>(
        SendMessageW(control, CB_GETLBTEXT, static_cast<WPARAM>(chosen), reinterpret_cast<LPARAM>(text.data()))));
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (GetComboBoxInfo(control, &info)) room = info.rcItem;
  } else {
    return {};
  }
  bool blank = true;
  for (const wchar_t c : text) blank = blank && (c == L' ' || c == L'\n' || c == L'\r');
  if (blank) return {};
  HDC dc = GetDC(control);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
  const int width = room.right - room.left;
  const int height = room.bottom - room.top;
  RECT need{0, 0, width, 0};
  UINT format = DT_CALCRECT | DT_EXPANDTABS | DT_NOPREFIX;
  format |= single_line ? DT_SINGLELINE : DT_WORDBREAK;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, format);
  if (old != nullptr) SelectObject(dc, old);
  ReleaseDC(control, dc);
  if (need.right - need.left <= width && need.bottom - need.top <= height) return {};
  char out[96];
  std::snprintf(out, sizeof(out), "text needs %ld x %ld, has %d x %d", static_cast<long>(need.right - need.left),
                static_cast<long>(need.bottom - need.top), width, height);
  return out;
}

struct LayoutCheck {
  HWND window;
  RECT client;
  std::string faults;
};

inline BOOL CALLBACK check_control_layout(HWND control, LPARAM context) {
  auto& c = *reinterpret_cast<LayoutCheck*>(context);
  if (GetParent(control) != c.window || !IsWindowVisible(control)) return TRUE;
  const int id = GetDlgCtrlID(control);
  const RECT r = client_rect_of(c.window, control);
  if (r.left < 0 || r.top < 0 || r.right > c.client.right || r.bottom > c.client.bottom) {
    c.faults += "; control " + std::to_string(id) + " at " + describe_rect(r) + " outside the client area " +
                describe_rect(c.client);
  }
  const std::string cut = text_cut(control);
  if (!cut.empty()) c.faults += "; control " + std::to_string(id) + " cut: " + cut;
  return TRUE;
}

// What is wrong with the screen's layout at the display's scale: the logo band (control
// `logo_id`) and the picture it shows span less than 90 % of the client width, a control stands
// outside the client area, or a text does not fit its control. Empty when nothing is.
inline std::string layout_faults(HWND window, int logo_id) {
  LayoutCheck c{window, {}, {}};
  GetClientRect(window, &c.client);
  const long width = c.client.right - c.client.left;
  HWND logo = GetDlgItem(window, logo_id);
  if (logo == nullptr) {
    c.faults += "; no logo";
  } else {
    const RECT r = client_rect_of(window, logo);
    BITMAP picture{};
    const auto shown = reinterpret_cast<HGDIOBJ>(SendMessageW(logo, STM_GETIMAGE, IMAGE_BITMAP, 0));
    const long picture_width =
        shown != nullptr && GetObjectW(shown, sizeof(picture), &picture) != 0 ? static_cast<long>(picture.bmWidth) : 0;
    if ((r.right - r.left) * 10 < width * 9 || picture_width * 10 < width * 9) {
      c.faults += "; the logo spans " + std::to_string(r.right - r.left) + " pixels, its picture " +
                  std::to_string(picture_width) + ", of the client's " + std::to_string(width);
    }
  }
  EnumChildWindows(window, check_control_layout, reinterpret_cast<LPARAM>(&c));
  return c.faults.empty() ? c.faults : c.faults.substr(2);
}

}  // namespace tz::gallery
