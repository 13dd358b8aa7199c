#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# Runs without questions; as a normal user it installs through sudo.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
      googletest libgtest-dev libgmock-dev libbenchmark-dev
      qt6-base-dev libqt6opengl6-dev libcurl4-openssl-dev
      fonts-dejavu-core fonts-liberation2 adwaita-icon-theme libx11-dev libxtst-dev libexpat1-dev xvfb xauth locales)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done

# A comma-decimal locale for the test that keeps numbers out of the user's
# locale; without it that test is skipped.
comma_locale() {
  locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$' && return 0
  local root=()
  [ "$(id -u)" -ne 0 ] && root=(sudo -n)
  "${root[@]}" sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen 2>/dev/null || true
  "${root[@]}" locale-gen >/dev/null 2>&1 || echo "Could not generate de_DE.UTF-8; its test will be skipped." >&2
  return 0
}

[ ${#missing[@]} -eq 0 ] && { comma_locale; exit 0; }

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "These packages are missing and sudo is not installed; as root run:" >&2
    echo "  apt-get install ${missing[*]}" >&2
    exit 1
  fi
  as_root=(sudo)
fi
# sudo drops the caller's environment, so the front end is set behind it;
# the lock time-out waits out an apt run that is already busy.
apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
"${apt[@]}" update -qq
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
comma_locale
