#pragma once
// A plausible installation for demonstrations, examples and the simulated
// regulator: two regulators ("Port engine", master, and "Stbd engine", its
// slave) charging one 12 V bank at about 13.8 V with the engines at cruising
// speed, and a complete settings image for the port regulator.
#include "records/settings_record.h"
#include "records/snapshot_record.h"
#include "records/system_state_record.h"

// The connected regulator: bulk charging, ignition on, CAN bus active.
SystemStateRecord DemoOwnState();
// The peer on the same CAN bus, running as slave.
SystemStateRecord DemoPeerState();
// All settings of the connected regulator: eight charge profiles (FLA bulk
// 14.4 V / float 13.5 V and so on), 0.1 mOhm shunts, correction factors of 1,
// pulley ratio 2.5, 12 poles, a rising field/RPM curve from 30 to 100 %,
// active profile 1 (AGM), Wi-Fi access point at 192.168.4.1 and the support
// host "localhost:8080". Every field lies within what the editors write.
SettingsRecord DemoSettings();
// The three records above as one snapshot (bytes 0 to 3 zero).
SnapshotRecord DemoSnapshot();
