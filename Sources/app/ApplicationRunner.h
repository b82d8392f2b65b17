#pragma once

// Runs Quorvel: the application object, the single-copy check, the main
// interface, the event loop, and an orderly end on Quit, SIGTERM, SIGINT,
// SIGHUP or the end of the desktop session. Returns the exit status.
int runApplication(int argc, char** argv);
