// The library's entry points and its class descriptor, and the resources it carries.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "host/CustomControls.h"
#include "plugin/GritClassDesc.h"
#include "plugin/GritUtility.h"
#include "plugin/Library.h"
#include "plugin/ResourceIds.h"
#include "plugin/Resources.h"
#include "tests/plugin/PanelFixture.h"

namespace {

TEST(LibraryTest, ExportsAnswer) {
    EnterPluginLibrary();
    EXPECT_EQ(LibNumberClasses(), 1);
    EXPECT_EQ(LibVersion(), 0x10680800u);
    EXPECT_EQ(LibVersion() >> 16, 4200u);  // release, interface and revision of the host
    EXPECT_EQ((LibVersion() >> 8) & 0xFFu, 8u);
    EXPECT_EQ(LibClassDesc(1), nullptr);
    EXPECT_EQ(LibClassDesc(-1), nullptr);
    ClassDesc* first = LibClassDesc(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(LibClassDesc(0), first);
    EXPECT_EQ(first, &TheGritClassDesc());
}

TEST(LibraryTest, CreatingAlwaysYieldsTheOneUtility) {
    EnterPluginLibrary();
    ClassDesc* d = LibClassDesc(0);
    void* a = d->Create(FALSE);
    void* b = d->Create(TRUE);
    EXPECT_EQ(a, b);
    EXPECT_EQ(static_cast<UtilityObj*>(a), static_cast<UtilityObj*>(&TheGritUtility()));
    // The host's release does not free it.
    static_cast<UtilityObj*>(a)->DeleteThis();
    EXPECT_EQ(d->Create(FALSE), a);
}

TEST(LibraryTest, DescriptorAnswers) {
    EnterPluginLibrary();
    ClassDesc* d = LibClassDesc(0);
    EXPECT_EQ(d->IsPublic(), 1);
    EXPECT_STREQ(d->ClassName(), "Murkwell");
    EXPECT_STREQ(d->Category(), "Velmora Software");
    EXPECT_EQ(d->SuperClassID(), 0x1020u);
    EXPECT_EQ(d->ClassID(), Class_ID(635491675u, 764542270u));
    EXPECT_STREQ(d->InternalName(), "Murkwell");
    EXPECT_EQ(d->HInstance(), PluginModule());
    EXPECT_EQ(d->OkToCreate(nullptr), TRUE);
    EXPECT_EQ(d->HasClassParams(), FALSE);
    EXPECT_EQ(d->SubClassID(), Class_ID(0xFFFFFFFFu, 0xFFFFFFFFu));
    EXPECT_EQ(d->NumInterfaces(), 0);
    EXPECT_EQ(TheGritClassDesc().NumParamBlockDescs(), 0);
}

TEST(LibraryTest, ResourceStringsShareOneBuffer) {
    EnterPluginLibrary();
    const char* description = LibDescription();
    const char* className = LibClassDesc(0)->ClassName();
    ASSERT_NE(description, nullptr);
    EXPECT_EQ(description, className);
    EXPECT_STREQ(className, "Murkwell");
    // The next string overwrites what an earlier caller holds.
    const char* category = LibClassDesc(0)->Category();
    EXPECT_EQ(category, description);
    EXPECT_STREQ(description, "Velmora Software");
    EXPECT_STREQ(LoadResourceString(IDS_PARAMS), "Parameters");
    EXPECT_EQ(LoadResourceString(5), nullptr);
    EXPECT_EQ(LoadResourceString(0), nullptr);
    EXPECT_EQ(LoadResourceString(-1), nullptr);
}

// A second module record with other strings, to see which handle the library uses.
const StringResource kOtherStrings[] = {{1, "Other"}};
HINSTANCE__ g_otherModule = {"other", nullptr, 0, kOtherStrings, 1, nullptr};

// The library entry seen from a process in which nothing has entered the library yet. Prints
// each failed check and returns their number.
int CheckFirstAndLaterEntries() {
    int failures = 0;
    const auto check = [&failures](bool ok, const char* what) {
        if (ok) return;
        std::fprintf(stderr, "failed: %s\n", what);
        ++failures;
    };
    check(LibInstance() == nullptr, "no handle before the entry");
    check(LibDescription() == nullptr, "no description before the entry");
    check(LibClassDesc(0)->ClassName() == nullptr, "no class name before the entry");
    check(LibClassDesc(0)->Category() == nullptr, "no category before the entry");
    check(ControlInitialization().customControlCalls == 0, "no controls before the entry");

    check(LibMain(PluginModule(), DLL_PROCESS_ATTACH, nullptr) == TRUE, "entry succeeds");
    ControlInitRecord init = ControlInitialization();
    check(init.customControlCalls == 1 && init.commonControlCalls == 1, "controls initialised");
    check(init.firstCustomControlCall < init.firstCommonControlCall, "custom controls first");
    check(init.customControlsInstance == PluginModule(), "custom controls get the instance");
    check(LibDescription() && std::strcmp(LibDescription(), "Murkwell") == 0, "description after entry");

    // A thread attaching: the handle is taken again, the controls are left alone.
    check(LibMain(&g_otherModule, DLL_THREAD_ATTACH, nullptr) == TRUE, "second entry succeeds");
    check(LibInstance() == &g_otherModule, "handle updated");
    check(LibDescription() && std::strcmp(LibDescription(), "Other") == 0, "strings of the new handle");
    init = ControlInitialization();
    check(init.customControlCalls == 1 && init.commonControlCalls == 1, "controls not initialised again");
    LibMain(PluginModule(), DLL_PROCESS_DETACH, nullptr);
    check(LibInstance() == PluginModule(), "detach also sets the handle");
    return failures;
}

// Run in a fresh process: the test binary started again for this test alone.
TEST(LibraryEntryDeathTest, EntryKeepsEveryHandleAndInitialisesTheControlsOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(CheckFirstAndLaterEntries() == 0 ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST(ResourcesTest, PanelTemplateIsConsistent) {
    const DialogTemplate& t = PanelDialogTemplate();
    EXPECT_EQ(t.id, 101);
    EXPECT_EQ(t.cx, 108);
    EXPECT_EQ(t.cy, 323);
    EXPECT_TRUE(t.style & WS_CHILD);
    EXPECT_FALSE(t.style & WS_CAPTION);
    ASSERT_EQ(t.itemCount, 38);

    std::set<int> ids;
    int labels = 0;
    for (int i = 0; i < t.itemCount; ++i) {
        const DialogItemTemplate& item = t.items[i];
        // Every control lies within the page.
        EXPECT_GE(item.x, 0);
        EXPECT_GE(item.y, 0);
        EXPECT_LE(item.x + item.cx, t.cx) << i;
        EXPECT_LE(item.y + item.cy, t.cy) << i;
        if (item.id == IDC_STATIC) {
            ++labels;
            EXPECT_TRUE(item.kind == ControlKind::Label || item.kind == ControlKind::CentredLabel ||
                        item.kind == ControlKind::GroupBox);
            continue;
        }
        EXPECT_TRUE(ids.insert(item.id).second) << "id " << item.id << " twice";
    }
    EXPECT_EQ(labels, 13);
    EXPECT_EQ(ids.size(), 25u);

    // Each spinner sits right of its edit box on the same line.
    const std::pair<int, int> pairs[] = {{1490, 1496}, {1491, 1497}, {1494, 1500}, {1493, 1499},
                                         {1492, 1498}, {1495, 1501}, {1502, 1503}, {1504, 1505}};
    const auto find = [&](int id) -> const DialogItemTemplate* {
        for (int i = 0; i < t.itemCount; ++i)
            if (t.items[i].id == id) return &t.items[i];
        return nullptr;
    };
    for (const auto& [editId, spinId] : pairs) {
        const DialogItemTemplate* edit = find(editId);
        const DialogItemTemplate* spin = find(spinId);
        ASSERT_TRUE(edit && spin) << editId;
        EXPECT_EQ(edit->kind, ControlKind::CustomEdit);
        EXPECT_EQ(spin->kind, ControlKind::Spinner);
        EXPECT_EQ(spin->x, edit->x + edit->cx + 1) << spinId;
        EXPECT_EQ(spin->y, edit->y) << spinId;
    }
    for (int id : {1008, 1009, 1010}) EXPECT_EQ(find(id)->kind, ControlKind::AutoRadioButton);
    for (int id : {1002, 1006, 1007, 1011}) {
        EXPECT_EQ(find(id)->kind, ControlKind::AutoCheckBox);
        EXPECT_TRUE(find(id)->style & WS_TABSTOP);
    }
    EXPECT_STREQ(find(1001)->text, "Generate");
    EXPECT_STREQ(find(1005)->text, "About...");
}

TEST(ResourcesTest, AboutTemplateAndVersionRecord) {
    const DialogTemplate& about = AboutDialogTemplate();
    EXPECT_EQ(about.id, 102);
    EXPECT_STREQ(about.caption, "About Murkwell");
    EXPECT_TRUE(about.style & WS_POPUP);
    EXPECT_TRUE(about.style & WS_SYSMENU);
    ASSERT_EQ(about.itemCount, 4);
    EXPECT_EQ(about.items[0].kind, ControlKind::Picture);
    EXPECT_EQ(about.items[0].imageId, 102);
    EXPECT_STREQ(about.items[1].text, "Murkwell V0.26b [BETA]");
    EXPECT_EQ(about.items[3].id, IDOK);
    EXPECT_EQ(about.items[3].kind, ControlKind::DefPushButton);

    // The version texts agree with the version numbers.
    const VersionRecord& v = PluginVersionRecord();
    char text[32];
    std::snprintf(text, sizeof text, "%d, %d, %d, %d", v.fileVersion[0], v.fileVersion[1], v.fileVersion[2],
                  v.fileVersion[3]);
    EXPECT_STREQ(VersionString(v, "FileVersion"), text);
    std::snprintf(text, sizeof text, "%d, %d, %d, %d", v.productVersion[0], v.productVersion[1],
                  v.productVersion[2], v.productVersion[3]);
    EXPECT_STREQ(VersionString(v, "ProductVersion"), text);
    EXPECT_STREQ(text, "0, 2, 6, 0");
    EXPECT_STREQ(VersionString(v, "CompanyName"), "Velmora Software");
    EXPECT_STREQ(VersionString(v, "ProductName"), "3D Studio MAX");
    EXPECT_STREQ(VersionString(v, "Comments"), "TECH: ");
    EXPECT_STREQ(VersionString(v, "InternalName"), PluginModule()->moduleName);
    EXPECT_EQ(v.language, 0x0409);
    EXPECT_EQ(v.codePage, 1200);
    EXPECT_EQ(VersionString(v, "NoSuchKey"), nullptr);
}

}  // namespace
