// Scene-side host types the runs reach through the core interface: nodes, objects (with the
// wrapper that carries modifiers), the triangle-mesh object and change notices. A concrete host
// (the standalone host, the scripted test host, a host inside another application) derives
// from these.
#pragma once
#include <climits>

#include "host/Mesh.h"
#include "host/Win32Types.h"

using TimeValue = int;
using SClass_ID = ULONG;
using PartID = ULONG;
using RefMessage = int;

class Class_ID {
public:
    constexpr Class_ID(ULONG a = 0, ULONG b = 0) : a_(a), b_(b) {}
    constexpr ULONG PartA() const { return a_; }
    constexpr ULONG PartB() const { return b_; }
    constexpr bool operator==(const Class_ID& o) const { return a_ == o.a_ && b_ == o.b_; }

private:
    ULONG a_, b_;
};

// The host's triangle-mesh object class.
inline constexpr Class_ID triObjectClassID{9, 0};
// Class-family code of the derived object, the wrapper that carries modifiers.
inline constexpr SClass_ID GEN_DERIVOB_CLASS_ID = 2;

class Interval {
public:
    constexpr Interval(TimeValue s = INT_MIN, TimeValue e = INT_MAX) : start(s), end(e) {}
    TimeValue start, end;
};
inline constexpr Interval FOREVER{INT_MIN, INT_MAX};

constexpr PartID PART_TOPO = 1;
constexpr PartID PART_GEOM = 2;
constexpr RefMessage REFMSG_CHANGE = 0x50;
constexpr SClass_ID NOTIFY_ALL = 0xFFFFFFF0u;

class Object {
public:
    virtual ~Object() = default;
    // Class-family code; GEN_DERIVOB_CLASS_ID for a wrapper.
    virtual SClass_ID SuperClassID() = 0;
    // For a wrapper: the object it wraps. Others answer nullptr.
    virtual Object* GetObjRef() { return nullptr; }
    virtual int CanConvertToType(Class_ID cid) = 0;
    // Returns this object itself when it already is of that class, else a new object that the
    // caller owns and must release with DeleteThis; nullptr when conversion fails.
    virtual Object* ConvertToType(TimeValue t, Class_ID cid) = 0;
    // Releases an object the caller owns.
    virtual void DeleteThis() = 0;
};

class TriObject : public Object {
public:
    Mesh mesh;
    Mesh& GetMesh() { return mesh; }
};

struct ObjectState {
    Object* obj = nullptr;
};

class INode {
public:
    virtual ~INode() = default;
    virtual const char* GetName() = 0;
    // The node's evaluated object at time t (the pipeline's result).
    virtual ObjectState EvalWorldState(TimeValue t, BOOL evalHidden = TRUE) = 0;
    // The object the node refers to (possibly a wrapper).
    virtual Object* GetObjectRef() = 0;
    // Tells the node's dependents that part `partID` of it changed.
    virtual int NotifyDependents(Interval changeInt, PartID partID, RefMessage message, SClass_ID sclass = NOTIFY_ALL,
                                 BOOL propagate = TRUE, void* hTarg = nullptr) = 0;
};
