#include "hostapp/UtilityPanel.h"

#include <utility>

#include "host/CustomControls.h"
#include "host/Dialog.h"
#include "host/DialogInput.h"
#include "host/NumberText.h"
#include "host/Window.h"

UtilityPanel::~UtilityPanel() { Close(); }

bool UtilityPanel::Open(std::string& error) {
    if (page_) return true;
    const size_t before = host_.Rollups().Pages().size();
    utility_->OpenPanel(&host_, this);
    const auto& pages = host_.Rollups().Pages();
    if (pages.size() > before && pages.back().templateId == IDD_PANEL) page_ = pages.back().window;
    if (!page_) {
        // A half-opened utility is closed again, so that it forgets this host.
        utility_->ClosePanel(&host_, this);
        error = "the utility's panel did not open";
        return false;
    }
    return true;
}

void UtilityPanel::Close() {
    if (!page_) return;
    utility_->ClosePanel(&host_, this);
    // A utility that left its page up is not left holding the host: the page goes here.
    if (IsWindow(page_)) host_.DeleteRollupPage(page_);
    page_ = nullptr;
}

bool UtilityPanel::Checked(int id) const { return IsDlgButtonChecked(page_, id) == BST_CHECKED; }

bool UtilityPanel::IsEnabled(int id) const { return IsWindowEnabled(GetDlgItem(page_, id)) != FALSE; }

int UtilityPanel::ShownAlgorithm() const {
    for (int id : kAlgorithmButtons)
        if (Checked(id)) return id;
    return 0;
}

namespace {

// Edit box `id` of `page`, read with `read`; nothing when `id` is no edit box.
template <class T>
std::optional<T> ReadEdit(HWND page, int id, T (ICustEdit::*read)(BOOL*)) {
    ICustEdit* edit = GetICustEdit(GetDlgItem(page, id));
    if (!edit) return std::nullopt;
    const T value = (edit->*read)(nullptr);
    ReleaseICustEdit(edit);
    return value;
}

}  // namespace

std::optional<int> UtilityPanel::EditInt(int id) const { return ReadEdit(page_, id, &ICustEdit::GetInt); }

std::optional<float> UtilityPanel::EditFloat(int id) const { return ReadEdit(page_, id, &ICustEdit::GetFloat); }

bool UtilityPanel::TypeInt(int id, int value) {
    return TypeDlgItemText(page_, id, std::to_string(value).c_str()) != FALSE;
}

bool UtilityPanel::TypeFloat(int id, float value) {
    return TypeDlgItemText(page_, id, FormatSpinnerFloat(value).c_str()) != FALSE;
}

bool UtilityPanel::PressGenerate() { return page_ && ClickDlgButton(page_, IDC_GENERATE); }

std::vector<std::string> UtilityPanel::PressAbout() {
    std::vector<std::string> texts;
    HWND seen = nullptr;
    // The user of the About box: reads it, then presses "OK" (or, failing that, the close box).
    ModalDialogDriver previous = SetModalDialogDriver([&](HWND dialog) {
        if (dialog == seen) return false;  // it is still open after a press: give up on it
        seen = dialog;
        const Window* d = FindWindowRecord(dialog);
        if (!d || d->templateId != IDD_ABOUT) return false;
        texts.push_back(d->text);
        for (HWND c : d->children) {
            const Window* w = FindWindowRecord(c);
            if (w && (w->control == ControlKind::Label || w->control == ControlKind::CentredLabel)) texts.push_back(w->text);
        }
        return ClickDlgButton(dialog, IDOK) || ClickCloseBox(dialog);
    });
    if (page_) ClickDlgButton(page_, IDC_ABOUT);
    SetModalDialogDriver(std::move(previous));
    return texts;
}
