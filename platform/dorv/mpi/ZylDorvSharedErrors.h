#ifndef PLATFORM_DORV_MPI_ZYLDORVSHAREDERRORS_H
#define PLATFORM_DORV_MPI_ZYLDORVSHAREDERRORS_H
// The MPI flavour: an error that one process of a collective call raised,
// raised again on every process. The database rebuilds its own errors and
// the allocator's; a layer above registers how its error types are rebuilt,
// by error number, before its first collective call.
#include <platform/ZylBasException.h>

#include <string>

namespace zyl_dorv_mpi {

// What travelled from the failing process. The texts live as long as the
// process (the location strings of a raise must outlive every copy of it).
struct SharedError {
    int number;
    const char* message; // AsString() on the failing process
    const char* detail;  // its detail with " (rank <r>)" added
    const char* file;    // null when the error was thrown without a location
    const char* site;
    int line;
    const char* payload; // what the type's encoder gave on the failing process
};

// Throws the rebuilt error: a copy of the failing process's error with the
// same type, number, message and location (through ZylBasException::Throw).
using ErrorRaiser = void (*)(const SharedError& error);

// What an error carries beyond its message (the field its message template
// fills), for its raiser on the other processes.
using ErrorEncoder = std::string (*)(const ZylBasException& error);

// Throws `error`, rebuilt from `shared`, located where the failing process
// raised it (as a copy without a location when it had none).
[[noreturn]] void RaiseWhereItWas(ZylBasException& error, const SharedError& shared);

// Registers how error `number` travels; a later registration replaces an
// earlier one.
void RegisterErrorRaiser(int number, ErrorEncoder encode, ErrorRaiser raise);

} // namespace zyl_dorv_mpi

#endif
