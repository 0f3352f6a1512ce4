// SIGINT and SIGTERM turned into a readable descriptor (a self-pipe), so the
// emulator's event loop notices them and saves its state outside the handler.
// POSIX only; call once at start-up.
#pragma once

// Installs the handlers; returns the read end of the pipe, or -1 on failure.
int InstallTerminationPipe();
