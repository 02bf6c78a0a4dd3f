// The plug-in built as a shared library: a host loads it and finds its four functions by their
// plain names; loading runs the library entry.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <cstring>

#include "host/ClassDesc.h"

namespace {

TEST(PluginModuleTest, LoadsAndAnswersThroughItsPlainNames) {
    void* module = dlopen(MURKWELL_PLUGIN_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();

    using Description = const char* (*)();
    using NumberClasses = int (*)();
    using ClassDescAt = ClassDesc* (*)(int);
    using Version = ULONG (*)();
    const auto description = reinterpret_cast<Description>(dlsym(module, "LibDescription"));
    const auto numberClasses = reinterpret_cast<NumberClasses>(dlsym(module, "LibNumberClasses"));
    const auto classDesc = reinterpret_cast<ClassDescAt>(dlsym(module, "LibClassDesc"));
    const auto version = reinterpret_cast<Version>(dlsym(module, "LibVersion"));
    ASSERT_TRUE(description && numberClasses && classDesc && version);

    // Loading ran the entry: the strings are there.
    ASSERT_NE(description(), nullptr);
    EXPECT_STREQ(description(), "Murkwell");
    EXPECT_EQ(numberClasses(), 1);
    EXPECT_EQ(version(), 0x10680800u);
    EXPECT_EQ(classDesc(1), nullptr);
    ClassDesc* d = classDesc(0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(classDesc(0), d);
    EXPECT_STREQ(d->ClassName(), "Murkwell");
    EXPECT_STREQ(d->Category(), "Velmora Software");
    EXPECT_EQ(d->ClassID(), Class_ID(0x25E0D55Bu, 0x2D91FD3Eu));
    EXPECT_NE(d->Create(FALSE), nullptr);
    EXPECT_EQ(d->Create(FALSE), d->Create(TRUE));

    // Nothing else is reachable by name.
    EXPECT_EQ(dlsym(module, "_Z14TheGritUtilityv"), nullptr);
    EXPECT_EQ(dlsym(module, "_Z7LibMainP11HINSTANCE__jPv"), nullptr);
    EXPECT_EQ(dlsym(module, "LibMain"), nullptr);

    EXPECT_EQ(dlclose(module), 0);
}

}  // namespace
