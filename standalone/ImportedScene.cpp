#include "standalone/ImportedScene.h"

#include <algorithm>

namespace {

std::string JoinNames(const std::vector<std::string>& names, const char* separator) {
    std::string joined;
    for (const auto& n : names) joined += (joined.empty() ? "" : separator) + n;
    return joined;
}

}  // namespace

std::vector<std::string> ImportedObject::GroupNames() const {
    std::vector<std::string> names;
    for (const auto& set : groupSets)
        for (const auto& n : set)
            if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
    return names;
}

int ImportedScene::FindObject(const std::string& name) const {
    for (size_t i = 0; i < objects.size(); ++i)
        if (objects[i].name == name) return static_cast<int>(i);
    return -1;
}

std::vector<std::string> ImportedScene::ObjectNames() const {
    std::vector<std::string> names;
    for (const auto& o : objects) names.push_back(o.name);
    return names;
}

bool SelectGroupFaces(ImportedObject& object, const std::vector<std::string>& groups, std::string& error) {
    const std::vector<std::string> known = object.GroupNames();
    for (const auto& g : groups) {
        if (std::find(known.begin(), known.end(), g) == known.end()) {
            error = "object \"" + object.name + "\" has no group \"" + g + "\"";
            error += known.empty() ? " (it has no groups)" : " (its groups: " + JoinNames(known, ", ") + ")";
            return false;
        }
    }
    BitArray& sel = object.mesh.FaceSel();
    sel.SetSize(object.mesh.getNumFaces());
    sel.ClearAll();
    for (int f = 0; f < object.mesh.getNumFaces(); ++f) {
        const int set = object.faceGroupSet[static_cast<size_t>(f)];
        if (set < 0) continue;
        for (const auto& name : object.groupSets[static_cast<size_t>(set)])
            if (std::find(groups.begin(), groups.end(), name) != groups.end()) sel.Set(f);
    }
    return true;
}
