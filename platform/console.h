// Where the program's lines go when it runs as a windowed program.
#pragma once

// On Windows the demo is built as a windowed program, so that a double click
// opens no console window beside it. Started from a console, it still writes
// its lines (the errors, the end line, --help) there: this attaches it to
// the console of the program that started it, if any, and points standard
// output and standard error at it, unless they already lead somewhere (a
// file or a pipe the caller redirected them to). Call it first thing in
// main(). Elsewhere it does nothing.
void UseParentConsole();
