// Records, references and constants of the editor-side platform services:
// QuickDraw points and rectangles, windows, controls, events and timers.
#pragma once
#include "Platform/CFTypes.h"
#include "Platform/MacTypes.h"

struct Point {
    SInt16 v;
    SInt16 h;
};
struct Rect {
    SInt16 top;
    SInt16 left;
    SInt16 bottom;
    SInt16 right;
};
struct Float32Point {
    Float32 x;
    Float32 y;
};

struct OpaqueWindowPtr;
struct OpaqueControlRef;
struct OpaqueEventRef;
struct OpaqueEventTargetRef;
struct OpaqueEventHandlerRef;
struct OpaqueEventHandlerCallRef;
struct OpaqueToolboxObjectClassRef;
struct OpaqueEventLoopTimerRef;
struct OpaqueGrafPort;
struct OpaqueRgnHandle;
struct __CFRunLoop;

using WindowRef = OpaqueWindowPtr*;
using ControlRef = OpaqueControlRef*;
using HIViewRef = ControlRef;
using EventRef = OpaqueEventRef*;
using EventTargetRef = OpaqueEventTargetRef*;
using EventHandlerRef = OpaqueEventHandlerRef*;
using EventHandlerCallRef = OpaqueEventHandlerCallRef*;
using ToolboxObjectClassRef = OpaqueToolboxObjectClassRef*;
using EventLoopTimerRef = OpaqueEventLoopTimerRef*;
using CFRunLoopRef = __CFRunLoop*;
using EventLoopRef = CFRunLoopRef;
using GrafPtr = OpaqueGrafPort*;
using CGrafPtr = GrafPtr;
using RgnHandle = OpaqueRgnHandle*;
using SRefCon = void*;
using EventParamName = OSType;
using EventParamType = OSType;
using EventTimerInterval = double;  // seconds
using EventTime = double;           // seconds, as the input event's own time stamp
using WindowAttributes = UInt32;
using WindowRegionCode = UInt16;
using MouseTrackingResult = UInt16;

using EventHandlerProcPtr = OSStatus (*)(EventHandlerCallRef, EventRef, void* userData);
using EventHandlerUPP = EventHandlerProcPtr;
using EventLoopTimerProcPtr = void (*)(EventLoopTimerRef, void* userData);
using EventLoopTimerUPP = EventLoopTimerProcPtr;

struct EventTypeSpec {
    UInt32 eventClass;
    UInt32 eventKind;
};

struct ControlDefSpec {
    UInt32 defType;
    union {
        void* defProc;
        ToolboxObjectClassRef classRef;
    } u;
};

enum : OSStatus {
    eventNotHandledErr = -9874,
    errUnknownControl = -30584,
    eventParameterNotFoundErr = -9870,
    errInvalidWindowRef = -5600,
    controlHandleInvalidErr = -30599,
    errAlreadyRegistered = -9880,  // a class identifier that is taken
};

enum : UInt32 {
    kEventClassControl = FourCC("cntl"),
    kEventClassWindow = FourCC("wind"),
    kEventClassMouse = FourCC("mous"),

    kEventControlHit = 1,
    kEventControlDraw = 4,
    kEventControlClick = 13,
    kEventControlTrack = 51,
    kEventControlValueFieldChanged = 151,
    kEventWindowClosed = 73,
    kEventMouseMoved = 5,   // without a button: to the control under the pointer
    kEventMouseExited = 9,  // the pointer left the window: to the window
    kEventMouseWheelMoved = 10,

    kEventParamDirectObject = FourCC("----"),
    typeControlRef = FourCC("ctrl"),
    typeWindowRef = FourCC("wind"),
    kEventParamMouseWheelDelta = FourCC("mwdl"),  // notches, positive away from the user
    typeSInt32 = FourCC("long"),

    kControlDefObjectClass = 1,
    kControlSupportsEmbedding = 1u << 1,
    kWindowCompositingAttribute = 1u << 19,
};

enum : WindowRegionCode { kWindowContentRgn = 33, kWindowGlobalPortRgn = 40 };

// Key modifiers as GetCurrentEventKeyModifiers reports them. On Linux the
// Command key is Control, Option is Alt (or the middle button), Shift is Shift.
enum : UInt32 { cmdKey = 1u << 8, shiftKey = 1u << 9, optionKey = 1u << 11, controlKey = 1u << 12 };

enum : MouseTrackingResult {
    kMouseTrackingMouseDown = 1,
    kMouseTrackingMouseUp = 2,
    kMouseTrackingMouseDragged = 5,
};

constexpr EventTimerInterval kEventDurationSecond = 1.0;
constexpr EventTimerInterval kEventDurationForever = -1.0;  // a timer's delay: not until it is set
