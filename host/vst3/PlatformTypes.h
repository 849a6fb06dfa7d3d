#pragma once

// Basic types, calling convention and result codes of the VST3 binary interface, written from
// the published interface definitions. Every other header in this folder builds on these.

#include <cstdint>

#if defined(_WIN32)
#define ZARN_VST3_COM_COMPATIBLE 1
#define PLUGIN_API __stdcall
#else
#define ZARN_VST3_COM_COMPATIBLE 0
#define PLUGIN_API
#endif

namespace Steinberg {

using int8 = int8_t;
using uint8 = uint8_t;
using int16 = int16_t;
using uint16 = uint16_t;
using int32 = int32_t;
using uint32 = uint32_t;
using int64 = int64_t;
using uint64 = uint64_t;
using TBool = uint8;
using char8 = char;
using char16 = char16_t;
using TChar = char16;
using tresult = int32;
using FIDString = const char8*;
using TSize = int64;

// The result codes are COM HRESULTs on Windows and small integers elsewhere.
#if ZARN_VST3_COM_COMPATIBLE
enum : tresult {
  kNoInterface = static_cast<tresult>(0x80004002L),
  kResultOk = 0,
  kResultTrue = kResultOk,
  kResultFalse = 1,
  kInvalidArgument = static_cast<tresult>(0x80070057L),
  kNotImplemented = static_cast<tresult>(0x80004001L),
  kInternalError = static_cast<tresult>(0x80004005L),
  kNotInitialized = static_cast<tresult>(0x8000FFFFL),
  kOutOfMemory = static_cast<tresult>(0x8007000EL),
};
#else
enum : tresult {
  kNoInterface = -1,
  kResultOk = 0,
  kResultTrue = kResultOk,
  kResultFalse = 1,
  kInvalidArgument = 2,
  kNotImplemented = 3,
  kInternalError = 4,
  kNotInitialized = 5,
  kOutOfMemory = 6,
};
#endif

namespace Vst {

using String128 = TChar[128];
using ParamID = uint32;
using ParamValue = double;
using SpeakerArrangement = uint64;
using Speaker = uint64;
using TSamples = int64;
using TQuarterNotes = double;
using MediaType = int32;
using BusDirection = int32;
using BusType = int32;
using IoMode = int32;
using UnitID = int32;
using ProgramListID = int32;
using CtrlNumber = int16;
using KnobMode = int32;
using AttrID = const char*;

constexpr ParamID kNoParamId = 0xFFFFFFFF;
constexpr UnitID kRootUnitId = 0;
constexpr UnitID kNoParentUnitId = -1;
constexpr ProgramListID kNoProgramListId = -1;

}  // namespace Vst
}  // namespace Steinberg
