// The recording of the live readout into a measurement log: one row per tick, written by the
// shared row writer, so a crash loses at most the row being written. Plain C++, no Qt: the trend
// window only shows the state and starts and stops it. A file that cannot be opened or written
// ends the recording, never the measuring.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "record/rowwriter.h"

namespace trend {

// What the status line shows.
struct RecordingState {
    bool active = false;
    std::string path;    // the file of the current or last recording
    long long rows = 0;  // readings written to it
    int error = 0;       // the code that ended the last recording, 0 when it ended normally
    std::string reason;  // the system's reason for that code ("No space left on device")
};

class Recording {
  public:
    // The open COM port (1 to 8, 0 for none), asked at the start and before every row, so a
    // port changed during the recording is noted in the log.
    using PortQuery = int (*)();
    // `version` is the program's, written into the log's header.
    explicit Recording(std::string version);

    void SetPortQuery(PortQuery query) { portQuery_ = query; }

    // Appends to `path` (created when missing): the comment header, and the column header when
    // the file was empty. 0, or the code of the failure (then nothing is recording).
    int Start(const std::string& path);
    // Closes the file; a late write error reported by the close is returned (0 otherwise).
    int Stop();

    // One tick of the live readout. 0 while nothing records; else 0 or the write's code, after
    // which the recording has stopped.
    int Reading(int address, double volts, double milliamps, int status1);
    int Failure(int address, int code);
    // A device's identification: in the header of every later recording, and noted in a
    // running one (before its next row) when it is new or changed.
    int Identification(int address, const std::string& text);

    const RecordingState& State() const { return state_; }
    // Called whenever the state changes (start, stop, every row).
    std::function<void()> changed;

  private:
    int WriteRow(record::Row row);
    // Comments due before the next row: identifications, and the port when it changed.
    int WriteNotes();
    int Fail(int code);
    void Notify() const;

    std::string version_;
    PortQuery portQuery_ = nullptr;
    record::RowWriter writer_;
    RecordingState state_;
    std::map<int, std::string> identifications_;
    std::vector<std::string> notes_;
    int notedPort_ = 0;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace trend
