// Sequence formats: Standard MIDI files and S98 sound-chip logs.
//
// The MIDI header reader works on the reader's current position and can be
// bounded to a byte range, so that the RIFF analyser can run it on the data
// chunk of an RMID file; it never moves the reader. The S98 reader works on
// a whole file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "../io.h"

namespace vesko {

// ---- Standard MIDI file ----

// The bytes from the reader's position that the header reader examines.
inline constexpr size_t kMidiWindowBytes = 256;
// "MThd", the chunk length and the format, track count and division words.
inline constexpr size_t kMidiHeaderBytes = 14;

// The header of a Standard MIDI file. Zero-fill before use (MidiInfo info{}).
struct MidiInfo {
    int32_t format;      // 0, 1 or 2 in valid files (the whole 16-bit word)
    int32_t trackCount;  // the file's track count minus one
    uint32_t division;   // the division word as stored (ticks per quarter note)
    char title[256];     // first sequence/track name, trailing spaces cut; may be empty
};

// Looks for the header chunk in `window` (the bytes at the start of the MIDI
// data): "MThd", ignoring case, whose 14 header bytes lie wholly inside the
// window. Fills format, trackCount and division and takes the title from
// the first FF 03 (sequence or track name) event after the header. False,
// with info untouched, when there is no complete header.
bool parseMidiHeader(MidiInfo& info, Bytes window);

// Reads up to kMidiWindowBytes from the reader's position, but not beyond
// the absolute file offset `end`, and parses them with parseMidiHeader. The
// reader is left where it was.
bool readMidiHeader(MidiInfo& info, FileReader& reader,
                    uint64_t end = std::numeric_limits<uint64_t>::max());

// The description line: FORMAT.INI [MIDI] AUDIO1 (with a title) or AUDIO2
// with #format#, #track#, #delta# and, for AUDIO1, #title# filled.
std::string describeMidi(const MidiInfo& info);
void describeMidi(char* out, size_t outSize, const MidiInfo& info);

// ---- S98 ----

inline constexpr size_t kS98MaxDevices = 64;

struct S98Device {
    uint32_t type;
    uint32_t clock;  // Hz
    uint32_t pan;
    uint32_t reserved;
    char name[32];   // s98DeviceName of type ("UnknownDevice(4294967295)" fits)
};

// An S98 file's header, device list and play time. Zero-fill before use.
struct S98Info {
    char signature[4];          // "S98" and the version character
    uint32_t timerNumerator;    // a sync lasts numerator / denominator seconds
    uint32_t timerDenominator;  // (10 and 1000 when the file gives 0)
    uint32_t reserved;
    uint32_t tagOffset;
    uint32_t dumpOffset;
    uint32_t loopOffset;
    uint32_t deviceCount;       // device records held in `devices` (at most 64)
    S98Device devices[kS98MaxDevices];
    double duration;            // seconds, from the sync events of the dump
    char message[256];          // failure text (code page 932)
    uint32_t deviceIndex;       // the device describeS98Device describes
    uint64_t ticks;             // sum of the sync events, in timer-numerator units
};

// Reads the header, the device records and walks the dump data of the
// reader's file. False (with message set) for a version other than 1 and 3.
bool readS98(S98Info& info, FileReader& reader);

// Walks S98 dump data from its first byte until 0xFD or the end of `dump`;
// returns the ticks (syncs x numerator), saturating at the 64-bit maximum.
uint64_t countS98Ticks(Bytes dump, uint32_t numerator);

std::string s98DeviceName(uint32_t type);
void s98DeviceName(char* out, size_t outSize, uint32_t type);

// FORMAT.INI [S98] AUDIO with #device# and #clock# of devices[deviceIndex].
std::string describeS98Device(const S98Info& info);
void describeS98Device(char* out, size_t outSize, const S98Info& info);

}  // namespace vesko
