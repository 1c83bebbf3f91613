#pragma once
// Reading a snapshot file dropped onto the main window.
#include "records/snapshot_record.h"

#include <QString>

struct SnapshotLoad {
    enum Status {
        Ignored, // not a .txt name, or a file that cannot be opened or read: no message
        Invalid, // fewer than 1104 bytes: show errorText in an error box
        Loaded   // record holds the file's first 1104 bytes
    };
    Status status = Ignored;
    SnapshotRecord record;
    QString errorText;
};

// Whether the name's extension, upper-cased and without its dot, is exactly
// "TXT" (.txt, .TXT, .TxT); a name without extension is not.
bool IsSnapshotFileName(const QString& path);

// Loads the snapshot at path. Only the first 1104 bytes are read, however
// large the file is; the rest is ignored. No field is checked.
SnapshotLoad LoadSnapshotFile(const QString& path);
