// Descriptors 0, 1 and 2 are always open: a library that writes to standard
// error must never write into whatever file or connection got descriptor 2.
#pragma once

// Opens each closed standard descriptor onto /dev/null. Call first thing,
// before anything opens a file or a connection.
void OpenMissingStandardStreams();
