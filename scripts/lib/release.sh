# The release programs and the emulator process, for the scripts that drive a whole
# update (scripts/demo.sh, scripts/soak.sh). Sourced (bash); run from the top folder.
#   build_release SCRIPT_NAME
#     builds qelt-update and qelt-emulator (Release, no sanitizers) into
#     build-release/, logging to build-release/SCRIPT_NAME-build.log; on failure
#     prints the log's tail and exits the calling script with status 1. Sets
#     `updater` and `emulator` to the programs' paths.
#   start_emulator SCRIPT_NAME ARG...
#     starts qelt-emulator ARG... as the coprocess EMULATOR and reads what it
#     announces up to "READY". Sets `emulator_pid`, `emulator_pty` (the slave path
#     after --pty) and `emulator_tcp` ("127.0.0.1:PORT" after --tcp); returns 1 with
#     a message when it did not get ready within 20 seconds.
#   stop_emulator
#     ends it with SIGTERM (it saves its --state file) and waits for it; returns
#     its exit status. Nothing when none runs.

build_release() {
  local name=$1
  mkdir -p build-release
  local log="build-release/$name-build.log"
  if ! { cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQELT_SANITIZE=OFF &&
         cmake --build build-release --target qelt-update qelt-emulator -j "$(nproc)"; } \
       > "$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "$name: the build failed (whole log: $log)" >&2
    exit 1
  fi
  updater="$PWD/build-release/tools/qelt-update"
  emulator="$PWD/build-release/emulator/qelt-emulator"
}

emulator_pid=""
start_emulator() {
  local name=$1 line
  shift
  emulator_pty="" emulator_tcp=""
  coproc EMULATOR { exec "$emulator" "$@" 2>&1; }
  emulator_pid=$EMULATOR_PID
  while IFS= read -r -t 20 -u "${EMULATOR[0]}" line; do
    case "$line" in
      "PTY "*) emulator_pty=${line#PTY } ;;
      "TCP "*) emulator_tcp=${line#TCP } ;;
      READY) return 0 ;;
      *) echo "$name: emulator: $line" >&2 ;;
    esac
  done
  echo "$name: the emulator did not get ready" >&2
  return 1
}

stop_emulator() {
  [ -n "$emulator_pid" ] || return 0
  local pid=$emulator_pid status=0
  emulator_pid=""
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || status=$?
  return "$status"
}
