#include "standalone/PanelSession.h"

#include <algorithm>
#include <map>
#include <sstream>

#include "host/DialogInput.h"
#include "host/Window.h"
#include "host/WindowMessages.h"
#include "plugin/ResourceIds.h"

namespace {

bool IsInteractive(ControlKind kind) {
    return kind == ControlKind::AutoRadioButton || kind == ControlKind::AutoCheckBox ||
           kind == ControlKind::CustomEdit || kind == ControlKind::PushButton || kind == ControlKind::DefPushButton;
}

// What one control looks like on a text line; nothing for a spinner (its edit shows the value)
// and for a group box (it heads its own lines).
std::string Piece(const Window& w) {
    switch (w.control) {
        case ControlKind::AutoRadioButton:
            return (w.check == BST_CHECKED ? "(*) " : "( ) ") + w.text;
        case ControlKind::AutoCheckBox:
            return (w.check == BST_CHECKED ? "[x] " : "[ ] ") + w.text;
        case ControlKind::CustomEdit:
            return "[" + w.text + "]";
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
            return "<" + w.text + ">";
        case ControlKind::Label:
        case ControlKind::CentredLabel:
            return w.text;
        case ControlKind::Picture:
            return "(picture)";
        case ControlKind::Spinner:
        case ControlKind::GroupBox:
            return "";
    }
    return "";
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

// One row of controls: those at the same height within the same group box.
struct Row {
    std::vector<const Window*> controls;
};
// A group box, or the page itself (box == nullptr), with its rows in order of first appearance.
struct Section {
    const Window* box = nullptr;
    std::vector<Row> rows;
    std::map<long, size_t> rowAtTop;
};

std::string RenderRow(Row row) {
    std::stable_sort(row.controls.begin(), row.controls.end(),
                     [](const Window* a, const Window* b) { return a->rect.left < b->rect.left; });
    std::string line;
    int interactive = 0, disabled = 0;
    for (const Window* w : row.controls) {
        if (IsInteractive(w->control)) {
            interactive++;
            disabled += w->enabled ? 0 : 1;
        }
    }
    for (const Window* w : row.controls) {
        std::string piece = Piece(*w);
        if (piece.empty()) continue;
        // Only where a row mixes enabled and disabled controls is each disabled one marked.
        if (IsInteractive(w->control) && !w->enabled && disabled < interactive) piece += " (disabled)";
        line += (line.empty() ? "" : " ") + piece;
    }
    if (interactive > 0 && disabled == interactive) line += " (disabled)";
    return line;
}

}  // namespace

bool PanelSession::ApplyOptions(const BakeOptions& o, std::string& error) {
    const int finalAlgorithm = o.algorithm.value_or(ShownAlgorithm() ? ShownAlgorithm() : ALGORITHM_UV_MAP);
    auto failed = [&](const std::string& what) {
        error = "the panel did not take " + what;
        return false;
    };
    const HWND page = Page();
    // Brings up the algorithm under which control `id` can be used.
    auto reach = [&](int id, int algorithm) {
        if (!IsEnabled(id)) ClickDlgButton(page, algorithm);
        return IsEnabled(id);
    };
    auto setCheck = [&](int id, int algorithm, bool on, const char* what) {
        if (Checked(id) == on) return true;
        if (!reach(id, algorithm) || !ClickDlgButton(page, id) || Checked(id) != on) return failed(what);
        return true;
    };
    // Types the value and checks what the edit box then reads.
    auto typeInt = [&](int id, int algorithm, int value, const char* what) {
        if (!reach(id, algorithm) || !TypeInt(id, value)) return failed(what);
        return EditInt(id) == value ? true : failed(what);
    };
    auto typeFloat = [&](int id, int algorithm, float value, const char* what) {
        if (!reach(id, algorithm) || !TypeFloat(id, value)) return failed(what);
        return EditFloat(id) == value ? true : failed(what);
    };

    const int uv = ALGORITHM_UV_MAP;
    bool ok = true;
    if (o.size) {
        ok = ok && typeInt(IDC_XSIZ_EDIT, uv, o.size->first, "the map width");
        ok = ok && typeInt(IDC_YSIZ_EDIT, uv, o.size->second, "the map height");
    }
    if (o.spread) {
        ok = ok && typeInt(IDC_HSPREAD_EDIT, uv, o.spread->first, "the horizontal spread");
        ok = ok && typeInt(IDC_VSPREAD_EDIT, uv, o.spread->second, "the vertical spread");
    }
    if (o.dist) ok = ok && typeFloat(IDC_DIST_EDIT, uv, *o.dist, "the distance");
    if (o.channel) ok = ok && typeInt(IDC_MAPCHANNEL_EDIT, uv, *o.channel, "the map channel");
    if (o.selectedOnly) ok = ok && setCheck(IDC_SELECTED_ONLY, uv, *o.selectedOnly, "Selected Faces Only");
    if (o.noiseSize) ok = ok && typeFloat(IDC_NOISESIZE_EDIT, uv, *o.noiseSize, "the noise size");
    if (o.noiseOn) ok = ok && setCheck(IDC_NOISE_ON, uv, *o.noiseOn, "the noise switch");
    if (o.mtlID) ok = ok && typeInt(IDC_MTLID_EDIT, uv, *o.mtlID, "the material ID");
    if (o.mtlIDOn) ok = ok && setCheck(IDC_MTLID_ON, uv, *o.mtlIDOn, "the material ID filter switch");
    if (o.accumulate)
        ok = ok && setCheck(IDC_ADD_VERTEX_COLORS, ALGORITHM_VERTEX_COLORS, *o.accumulate, "Accumulate vertex colors");
    if (!ok) return false;
    if (ShownAlgorithm() != finalAlgorithm && (!ClickDlgButton(page, finalAlgorithm) || ShownAlgorithm() != finalAlgorithm))
        return failed("the algorithm");
    return true;
}

std::string PanelSession::Describe() const {
    const Window* page = FindWindowRecord(Page());
    if (!page) return "";
    std::vector<const Window*> controls;
    for (HWND c : page->children)
        if (const Window* w = FindWindowRecord(c)) controls.push_back(w);

    // The innermost group box around each control.
    auto boxOf = [&](const Window* w) -> const Window* {
        const Window* best = nullptr;
        for (const Window* g : controls) {
            if (g->control != ControlKind::GroupBox || g == w || !Inside(w->rect, g->rect)) continue;
            if (!best || Inside(g->rect, best->rect)) best = g;
        }
        return best;
    };

    // Sections (the page itself and each group box) and rows, each listed where its first control
    // stands in the template.
    std::vector<Section> sections(1);
    std::map<const Window*, size_t> sectionOf{{nullptr, 0}};
    std::vector<std::pair<bool, size_t>> entries;  // the page's lines: (a group box?, its index)
    for (const Window* w : controls) {
        const Window* box = w->control == ControlKind::GroupBox ? w : boxOf(w);
        if (box && !sectionOf.count(box)) {
            sectionOf[box] = sections.size();
            sections.push_back(Section{box, {}, {}});
            entries.push_back({true, sectionOf[box]});
        }
        if (w->control == ControlKind::GroupBox) continue;
        Section& s = sections[sectionOf[box]];
        auto at = s.rowAtTop.find(w->rect.top);
        if (at == s.rowAtTop.end()) {
            at = s.rowAtTop.emplace(w->rect.top, s.rows.size()).first;
            s.rows.push_back(Row{});
            if (!box) entries.push_back({false, at->second});
        }
        s.rows[at->second].controls.push_back(w);
    }

    std::ostringstream out;
    std::string title;
    for (const auto& p : Host().Rollups().Pages())
        if (p.window == Page()) title = p.title;
    out << (title.empty() ? "(untitled page)" : title) << "\n";
    for (const auto& [isSection, index] : entries) {
        if (!isSection) {
            const std::string line = RenderRow(sections[0].rows[index]);
            if (!line.empty()) out << "  " << line << "\n";
            continue;
        }
        const Section& s = sections[index];
        out << "  " << s.box->text << "\n";
        for (const Row& row : s.rows) {
            const std::string line = RenderRow(row);
            if (!line.empty()) out << "    " << line << "\n";
        }
    }
    return out.str();
}
