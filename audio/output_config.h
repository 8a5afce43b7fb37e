#pragma once
// The mixing period of the output device.
//
// OpenAL Soft mixes in periods of 1024 frames with three of them buffered unless its
// configuration says otherwise: tens of milliseconds between a note key and its sound.
// The tracker brings a short period of its own in "data/alsoft.conf" and hands it to
// OpenAL Soft (through ALSOFT_CONF, before the first OpenAL call) only when the user's
// own configuration is silent about the period: no ALSOFT_CONF, and no period_size
// or periods in any file OpenAL Soft reads. Its other settings are left alone.
#include <string>
#include <vector>

// The configuration files OpenAL Soft reads on this system, in its order, for the
// given environment lookup (getenv in the program).
std::vector<std::string> openalConfigFiles(const char* (*env)(const char*));
// Whether a configuration text sets period_size or periods (in any section).
bool configSetsPeriod(const std::string& text);
// Points OpenAL Soft at `ownConfig` unless the user's configuration sets the period.
// Returns whether it did.
bool chooseOutputConfig(const std::string& ownConfig);
