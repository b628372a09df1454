# What the README's commands share: sourced by scripts/test.sh and
# scripts/demo.sh.

# install_missing PACKAGE...: installs the Debian packages that are not
# installed yet (apt-get, as root; nothing is fetched when all are there).
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [[ ${#missing[@]} -eq 0 ]] && return 0
  printf '\n== installing %s\n' "${missing[*]}"
  local sudo=()
  if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "need root to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
  fi
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q \
    --no-install-recommends "${missing[@]}" </dev/null
}
