#pragma once

#include <string>

class MidiControllerMap;

// The file that keeps the MIDI controller map between sessions,
// "MidiControllerMap.mvm" in the product's data folder. Little-endian:
//
//     "MVCM"                 magic
//     int32                  version, written as 1, not checked on reading
//     127 x int32            the parameter id of controllers 0..126, -1 for none
//
// Control or editor thread only.

// Where the file lives; empty when no data folder is known.
std::string midiControllerMapPath();

// Reads the file into the map. True when the magic matched and all 127
// entries were read; otherwise the map is left exactly as it was. An entry
// below -1 reads as -1, and an id found under several controllers stays
// with the last of them (an id has one controller at most).
bool readMidiControllerMap(const std::string& path, MidiControllerMap& map);

// Writes the map, creating the folder and its parents when missing. The old
// file is replaced only by a complete new one. False when that failed.
bool writeMidiControllerMap(const std::string& path, const MidiControllerMap& map);
