#!/bin/sh
# Compiles or links with the posix threading flavour of the same mingw-w64
# compiler: GoogleTest needs std::mutex, which the win32 flavour of the
# shipping programs lacks. Used as the launcher of the Win32 test program;
# any other tool (the archiver) runs as it is.
tool="$1"
shift
case "$tool" in
  *-win32) exec "${tool%-win32}-posix" "$@" ;;
  *) exec "$tool" "$@" ;;
esac
