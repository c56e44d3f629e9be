// The console texts of a run, pieced together the way the tool writes them, so that
// end-to-end tests can compare a whole transcript byte for byte.
#ifndef KESTRANE_TRANSCRIPT_H
#define KESTRANE_TRANSCRIPT_H

#include <string>

namespace transcript {

// From the start of the run up to the dots of the port search.
std::string banner();
// Branch taken when the search found a unit.
std::string found(int port, int rate);
// The two report lines and the product check of a unit with this version reply.
std::string versionLines(const std::string& firmware, const std::string& fpga);
std::string productTx();
std::string productRx();
// The progress text of a transfer of `length` bytes.
std::string progress(int length);
// Phase 1 (Programmable Logic) and phase 2 (uC Firmware) when all goes well.
std::string fpgaPhase(int length);
std::string firmwarePhase(int length);
// The reboot wait, with or without the prompt seen.
std::string reboot(bool promptSeen);
// The last message and the exit prompt.
std::string endOk();
std::string endFailed();

}  // namespace transcript

#endif
