#pragma once
#include <cstdio>
#include <functional>
#include <string>

// An output file while it is written. A regular file, or a name that does not
// exist yet, is written into a temporary file in the same folder, which is
// renamed over the name only once it is complete and on disk: the name never
// holds a partly written file, and two runs writing the same name leave one
// whole file. Devices, pipes and names under /dev and /proc (/dev/stdout,
// /dev/null) are written in place. Where no temporary can be made (a folder
// that takes no new files, a full file system), the name is refused rather
// than written in place, which would cut the old file short before a failing
// write.
struct out_file {
    std::string name;       // as given
    std::string temporary;  // empty when written in place
    std::string target;     // what the temporary replaces: the name, or the file a link names
    std::FILE* f = nullptr; // fully buffered
};

// Opens the name for writing; ends the run with "Sorry, couldn't open NAME"
// when it cannot be written, followed by the reason when no temporary can be
// made or when the name passes through a link that another user left in a
// folder that everyone may write (as /tmp).
out_file open_output(const std::string& name);

// Flushes and closes the file and, for a temporary, syncs it and renames it
// over the target. Ends the run with "Sorry, couldn't write NAME" when
// anything written was lost; the temporary is removed then.
void finish_output(out_file& out);

// Writes the file with write(f), then finishes it; when write fails, the
// temporary is removed before the error goes on.
void write_output(out_file& out, const std::function<void(std::FILE*)>& write);

// Closes the file and removes its temporary: for a file given up half written.
void abandon_output(out_file& out);

// True when writing both names would write one file twice: the same existing
// regular file (by device and inode), or the same new path.
bool same_output(const std::string& a, const std::string& b);

// Removes the temporaries of the outputs not yet finished. Async-signal-safe:
// the signal handlers call it. The list of temporaries is the one state the
// library keeps for the whole process: a handler can reach nothing else.
void remove_temporaries();

// SIGINT, SIGTERM and SIGHUP remove the temporaries, then end the run as the
// signal would have. A signal that the parent set to be ignored stays ignored.
void remove_temporaries_on_signals();
