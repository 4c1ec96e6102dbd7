// What a process removes when a signal ends it: the files and folders it
// made and has not finished with (an export's temporary file, the music it
// extracted). TOwnedFile notes each entry while it owns it; a program that
// wants them gone on a signal installs the handlers once.
#pragma once

#include <sys/types.h>

#include <initializer_list>

namespace lumora {

// Handlers for the signals that remove every entry noted at that moment
// (only those whose device and inode are still the ones noted), then end
// the process as the signal would have.
void RemoveOnSignals(std::initializer_list<int> signals);

// A slot of the table the handlers read; -1 when the table is full (the
// entry is then left behind by a signal, as before).
int NoteForRemoval(const char* path, dev_t device, ino_t inode);
void ForgetRemoval(int slot);

}  // namespace lumora
