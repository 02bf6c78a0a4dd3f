// The class-descriptor base: its interface table and its resource strings.
#include <gtest/gtest.h>

#include "host/ClassDesc.h"
#include "tests/host/DialogTestModule.h"

namespace {

class Descriptor : public ClassDesc2 {
public:
    int IsPublic() override { return 1; }
    void* Create(BOOL) override { return nullptr; }
    const char* ClassName() override { return "Test"; }
    SClass_ID SuperClassID() override { return UTILITY_CLASS_ID; }
    Class_ID ClassID() override { return Class_ID(1, 2); }
    const char* Category() override { return "Tests"; }
    HINSTANCE HInstance() override { return instance; }
    HINSTANCE instance = nullptr;
};

class NamedInterface : public FPInterface {
public:
    NamedInterface(Interface_ID id, const char* name) : id_(id), name_(name) {}
    Interface_ID GetID() override { return id_; }
    const char* GetName() override { return name_; }

private:
    Interface_ID id_;
    const char* name_;
};

TEST(ClassDescTest, InterfaceTable) {
    Descriptor d;
    NamedInterface first(Interface_ID(1, 1), "first"), second(Interface_ID(2, 2), "second");
    NamedInterface sameId(Interface_ID(1, 1), "again");
    EXPECT_EQ(d.NumInterfaces(), 0);
    EXPECT_EQ(d.GetInterfaceAt(0), nullptr);
    d.AddInterface(&first);
    d.AddInterface(&second);
    d.AddInterface(&sameId);  // an id already there is not added twice
    d.AddInterface(nullptr);
    ASSERT_EQ(d.NumInterfaces(), 2);
    EXPECT_EQ(d.GetInterfaceAt(1), &second);
    EXPECT_EQ(d.GetInterfaceAt(2), nullptr);
    EXPECT_EQ(d.GetInterfaceAt(-1), nullptr);
    EXPECT_EQ(d.GetInterface(Interface_ID(2, 2)), &second);
    EXPECT_EQ(d.GetInterface(Interface_ID(3, 3)), nullptr);
    EXPECT_EQ(d.GetInterface("first"), &first);
    EXPECT_EQ(d.GetInterface("again"), nullptr);
    d.ClearInterfaces();
    EXPECT_EQ(d.NumInterfaces(), 0);
    EXPECT_EQ(d.GetInterface("first"), nullptr);
}

TEST(ClassDescTest, ResourceStringsComeFromTheLibrarysModule) {
    Descriptor d;
    EXPECT_EQ(d.GetRsrcString(7), nullptr);  // no module yet
    d.instance = TestDialogModule();
    ASSERT_NE(d.GetRsrcString(7), nullptr);
    EXPECT_STREQ(d.GetRsrcString(7), "Seven");
    EXPECT_EQ(d.GetRsrcString(99), nullptr);
    EXPECT_EQ(d.GetRsrcString(-1), nullptr);
    // The defaults of a descriptor that says nothing more.
    EXPECT_EQ(d.SubClassID(), Class_ID(0xFFFFFFFFu, 0xFFFFFFFFu));
    EXPECT_EQ(d.NumParamBlockDescs(), 0);
    EXPECT_EQ(d.Execute(1, 2, 3, 4), 0);
}

}  // namespace
