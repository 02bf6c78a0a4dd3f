// Class descriptors: how a plug-in library tells the host about each class it implements (its
// name, category, identifiers) and creates its objects. ClassDesc2 is the descriptor base of
// classes that can have parameter blocks; this host layer has no parameter blocks, so ClassDesc2
// adds only the answer that a class declares none.
#pragma once
#include <string>
#include <vector>

#include "host/Interface.h"
#include "host/Scene.h"
#include "host/Win32Types.h"

// Super-class id of utility plug-ins.
constexpr SClass_ID UTILITY_CLASS_ID = 0x1020;

// Identifier of a function-publishing interface: a pair of 32-bit words.
class Interface_ID {
public:
    constexpr Interface_ID(ULONG a = 0, ULONG b = 0) : a_(a), b_(b) {}
    constexpr ULONG PartA() const { return a_; }
    constexpr ULONG PartB() const { return b_; }
    constexpr bool operator==(const Interface_ID& o) const { return a_ == o.a_ && b_ == o.b_; }

private:
    ULONG a_, b_;
};

// A function-publishing interface a descriptor can carry.
class FPInterface {
public:
    virtual ~FPInterface() = default;
    virtual Interface_ID GetID() = 0;
    virtual const char* GetName() = 0;
};

class ClassDesc {
public:
    virtual ~ClassDesc() = default;
    // Whether users can create the class from the host's lists.
    virtual int IsPublic() = 0;
    // An instance of the class (loading: the host is loading a scene).
    virtual void* Create(BOOL loading = FALSE) = 0;
    virtual const char* ClassName() = 0;
    virtual SClass_ID SuperClassID() = 0;
    virtual Class_ID ClassID() = 0;
    virtual const char* Category() = 0;
    virtual BOOL OkToCreate(Interface* ip) { (void)ip; return TRUE; }
    virtual BOOL HasClassParams() { return FALSE; }
    virtual void EditClassParams(HWND parent) { (void)parent; }
    virtual void ResetClassParams(BOOL fileReset = FALSE) { (void)fileReset; }
    // The class's name for scripts, independent of the user's language.
    virtual const char* InternalName() { return nullptr; }
    // The instance handle of the library that holds the class.
    virtual HINSTANCE HInstance() { return nullptr; }
    // String `id` of the library's string table (in a buffer of this descriptor), or nullptr.
    virtual const char* GetRsrcString(INT_PTR id);

    // The descriptor's interfaces.
    virtual int NumInterfaces() { return static_cast<int>(interfaces_.size()); }
    virtual FPInterface* GetInterfaceAt(int i);
    virtual FPInterface* GetInterface(Interface_ID id);
    virtual FPInterface* GetInterface(const char* name);
    // Adds an interface unless one with its id is already there.
    virtual void AddInterface(FPInterface* fpi);
    virtual void ClearInterfaces() { interfaces_.clear(); }

    // The id of a subclass the class stands for; (0xFFFFFFFF, 0xFFFFFFFF) for none.
    virtual Class_ID SubClassID() { return Class_ID(0xFFFFFFFFu, 0xFFFFFFFFu); }
    // A generic command for the class; 0 when not understood.
    virtual INT_PTR Execute(int cmd, ULONG_PTR arg1 = 0, ULONG_PTR arg2 = 0, ULONG_PTR arg3 = 0) {
        (void)cmd, (void)arg1, (void)arg2, (void)arg3;
        return 0;
    }

protected:
    std::vector<FPInterface*> interfaces_;

private:
    std::string rsrcBuffer_;
};

class ClassDesc2 : public ClassDesc {
public:
    // Parameter blocks the class declares: none on this host.
    virtual int NumParamBlockDescs() { return 0; }
};
