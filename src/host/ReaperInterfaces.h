#pragma once

// The two interfaces REAPER offers VST3 plug-ins for its mixer miniatures, and the bitmap it
// paints into, declared from REAPER's published identifiers and method order.

#include <pluginterfaces/base/funknown.h>

#include <cstdint>

namespace reaper
{
    /** REAPER's side: its API functions by name, and the objects the plug-in sits in. */
    class IReaperHostApplication : public Steinberg::FUnknown
    {
    public:
        virtual void* PLUGIN_API getReaperApi (const char* functionName) = 0;
        virtual void* PLUGIN_API getReaperParent (Steinberg::uint32 kind) = 0;     // 1: the track
    };

    /** The plug-in's side: one message function for support, paint, size and mouse. */
    class IReaperUIEmbedInterface : public Steinberg::FUnknown
    {
    public:
        virtual Steinberg::TPtrInt PLUGIN_API embed_message (int message, Steinberg::TPtrInt parm2, Steinberg::TPtrInt parm3) = 0;
    };

    /** The 16 bytes of the interface ids, as the VST3 id macro lays them out on Linux. */
    inline constexpr Steinberg::int8 kHostApplicationId[16] {
        0x79, 0x65, 0x5E, 0x36, 0x77, (Steinberg::int8) 0xEE, 0x42, 0x67,
        (Steinberg::int8) 0xA5, 0x73, (Steinberg::int8) 0xFE, (Steinberg::int8) 0xF7, 0x49, 0x12, (Steinberg::int8) 0xC2, 0x7C };

    inline constexpr Steinberg::int8 kUIEmbedId[16] {
        0x04, (Steinberg::int8) 0x9B, (Steinberg::int8) 0xF9, (Steinberg::int8) 0xE7, (Steinberg::int8) 0xBC, 0x74, (Steinberg::int8) 0xEA, (Steinberg::int8) 0xD0,
        (Steinberg::int8) 0xC4, 0x10, 0x1E, (Steinberg::int8) 0x86, 0x7F, 0x72, 0x59, (Steinberg::int8) 0x81 };

    /** The bitmap REAPER hands over with a paint message. */
    class Bitmap
    {
    public:
        virtual ~Bitmap() = default;
        virtual std::uint32_t* getBits() = 0;
        virtual int getWidth() = 0;
        virtual int getHeight() = 0;
        virtual int getRowSpan() = 0;              // in pixels
        virtual bool isFlipped() = 0;
        virtual bool resize (int width, int height) = 0;
        virtual void* getDC() = 0;
        virtual std::intptr_t Extended (int id, void* data) = 0;
    };

    /** Messages of the embedded view. */
    enum Message
    {
        embedSupported = 0,
        embedPaint = 15,
        embedSizeLimits = 36,
        embedLeftButtonDown = 513
    };

    inline constexpr int kExtendedDisplayScale = 0x2003;    // 256 is 1.0
    inline constexpr int kRecordChainFlag = 0x1000000;
}
