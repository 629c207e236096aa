#include "ui/win32/TextBox.h"

#include <vector>

#include "common/SystemWindows.h"
#include "ui/shared/WindowDesign.h"
#include "ui/shared/WindowTexts.h"

namespace folder2pdf::TextBox {

namespace {

constexpr WORD fieldId = 100;
constexpr WORD staticId = 0xFFFF;  // as message boxes number their text
constexpr WORD buttonClass = 0x0080, editClass = 0x0081, staticClass = 0x0082;

// A dialog template, built word by word as DLGTEMPLATE and DLGITEMTEMPLATE
// lay it out: items start on a DWORD boundary.
class Template {
  public:
    void dialog(DWORD style, short items, short width, short height, const std::wstring& title,
                const std::wstring& face, WORD points) {
        dword(style);
        dword(0);
        words_.push_back(static_cast<WORD>(items));
        coordinates(0, 0, width, height);
        words_.push_back(0);  // no menu
        words_.push_back(0);  // the system's dialog class
        text(title);
        words_.push_back(points);
        text(face);
    }
    void item(DWORD style, short x, short y, short width, short height, WORD id, WORD kind,
              const std::wstring& caption) {
        if (words_.size() % 2 != 0) {
            words_.push_back(0);
        }
        dword(WS_CHILD | WS_VISIBLE | style);
        dword(0);
        coordinates(x, y, width, height);
        words_.push_back(id);
        words_.push_back(0xFFFF);
        words_.push_back(kind);
        text(caption);
        words_.push_back(0);  // no creation data
    }
    const DLGTEMPLATE* data() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

  private:
    void dword(DWORD value) {
        words_.push_back(LOWORD(value));
        words_.push_back(HIWORD(value));
    }
    void coordinates(short x, short y, short width, short height) {
        for (const short value : {x, y, width, height}) {
            words_.push_back(static_cast<WORD>(value));
        }
    }
    void text(const std::wstring& value) {
        words_.insert(words_.end(), value.begin(), value.end());
        words_.push_back(0);
    }

    // WORDs, which a DWORD-aligned allocation keeps aligned as the template needs.
    std::vector<WORD> words_;
};

struct Answer {
    std::wstring initial;
    std::optional<std::wstring> given;
};

INT_PTR CALLBACK boxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(box, DWLP_USER, lParam);
            const auto* answer = reinterpret_cast<const Answer*>(lParam);
            const HWND field = GetDlgItem(box, fieldId);
            SetWindowTextW(field, answer->initial.c_str());
            SendMessageW(field, EM_SETSEL, 0, -1);
            SetFocus(field);
            return FALSE;
        }
        case WM_COMMAND: {
            auto* answer = reinterpret_cast<Answer*>(GetWindowLongPtrW(box, DWLP_USER));
            if (LOWORD(wParam) == IDOK) {
                const HWND field = GetDlgItem(box, fieldId);
                std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
                text.resize(static_cast<std::size_t>(
                    GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
                answer->given = text;
                EndDialog(box, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(box, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

std::optional<std::wstring> ask(HWND owner, const std::wstring& title, const std::wstring& prompt,
                                const std::wstring& initial) {
    // In dialog units: two lines of the prompt, the field, the buttons at
    // the right.
    Template box;
    box.dialog(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, 4,
               300, 74, title, utf16(designFontFace), 9);
    box.item(SS_LEFT | SS_NOPREFIX, 7, 7, 286, 20, staticId, staticClass, prompt);
    box.item(WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 7, 31, 286, 14, fieldId, editClass, L"");
    box.item(WS_TABSTOP | BS_DEFPUSHBUTTON, 189, 53, 50, 14, IDOK, buttonClass, utf16("确定"));
    box.item(WS_TABSTOP | BS_PUSHBUTTON, 243, 53, 50, 14, IDCANCEL, buttonClass,
             utf16(cancelCaption));
    Answer answer{initial, std::nullopt};
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), box.data(), owner, boxProc,
                            reinterpret_cast<LPARAM>(&answer));
    return answer.given;
}

}  // namespace folder2pdf::TextBox
