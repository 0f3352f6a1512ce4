# Installs the Debian packages a script needs and that are not installed yet.
# Sourced by scripts/test.sh and scripts/demo.sh (bash).
#   install_missing_packages NOTE_PREFIX ERROR_PREFIX PACKAGE...
# prints "<NOTE_PREFIX>Installing: <missing packages>" before installing them as
# root with apt-get; when something is missing and this is not root, prints
# "<ERROR_PREFIX>packages are missing and this is not root: ..." on standard
# error and exits the calling script with status 1.

install_missing_packages() {
  local note_prefix=$1 error_prefix=$2
  shift 2
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "${note_prefix}Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "${error_prefix}packages are missing and this is not root: ${missing[*]}" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
