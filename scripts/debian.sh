# What the scripts that build libraries from Debian's sources share: source
# it, then `need PACKAGE...` installs what is missing, `use_debian_sources`
# adds the deb-src entries `apt-get source` needs, and `fetch_source PACKAGE`
# unpacks a source package into $src/PACKAGE once (the caller sets src).

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt=($sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900)
updated=""
apt_update() { [ -n "$updated" ] || { "${apt[@]}" update -qq; updated=1; }; }
need() {  # installs the packages that are not installed yet
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  apt_update
  "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"
}

# deb-src entries for the suites this machine already uses.
use_debian_sources() {
  apt-get source --print-uris zlib >/dev/null 2>&1 && return 0
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -e 's/^Types: *deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      $sudo tee /etc/apt/sources.list.d/particle-demo-src.sources >/dev/null
  elif [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list |
      $sudo tee /etc/apt/sources.list.d/particle-demo-src.list >/dev/null
  fi
  updated=""
  apt_update
}

# Unpacks the source package into $src/<package>, once. When the index names
# a version the archive no longer serves, the newest one that downloads is used.
fetch_source() {
  local package=$1 dir=$src/$1
  [ -d "$dir" ] && return 0
  local tmp=$src/.fetch-$package
  rm -rf "$tmp" && mkdir -p "$tmp"
  local ok=""
  if (cd "$tmp" && apt-get source -qq "$package" >/dev/null 2>&1); then
    ok=1
  else
    local v
    for v in $(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -rV -u); do
      rm -rf "${tmp:?}"/* && (cd "$tmp" && apt-get source -qq "$package=$v" >/dev/null 2>&1) && { ok=1; break; }
    done
  fi
  [ -n "$ok" ] || { echo "cannot download the Debian source of $package" >&2; exit 1; }
  local unpacked
  unpacked=$(find "$tmp" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  mv "$unpacked" "$dir"
  rm -rf "$tmp"
}

# Libraries built from Debian's sources are kept outside the clone, in
# $PARTICLE_DEMO_CACHE (by default ~/.cache/particle-demo), as a compiler
# cache keeps objects: a new clone on this machine copies them instead of
# building them again, and a new machine builds them once.
#
#   cached_build <prefix> "<source packages>" <function> [<arguments>...]
#
# fills <prefix> by running the function, unless a build with the same key is
# in the cache. The key is the text of the script's functions so far (the
# build's commands and flags), the arguments, the versions of the source
# packages, and $cache_toolchain (the compilers' versions, which the caller
# sets).
cached_build() {
  local prefix=$1 packages=$2
  shift 2
  local key p
  key=$({
    declare -f
    echo "$* / $cache_toolchain"
    for p in $packages; do apt-get source --print-uris -qq "$p" 2>/dev/null | awk '$2 ~ /\.dsc$/ { print $2 }'; done
  } | sha256sum | cut -c1-16)
  local cache
  cache=${PARTICLE_DEMO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/particle-demo}/$(basename "$prefix")-$key
  [ "$(cat "$prefix/.key" 2>/dev/null)" = "$key" ] && return 0
  if [ -f "$cache/.key" ]; then
    echo "== $(basename "$prefix"): the libraries built before, from $cache"
    rm -rf "$prefix" && mkdir -p "$(dirname "$prefix")" && cp -a "$cache" "$prefix"
    return 0
  fi
  rm -rf "$prefix"
  "$@"
  echo "$key" >"$prefix/.key"
  # Copied whole under another name, then renamed: a copy cut short is never taken.
  { rm -rf "$cache.tmp" && mkdir -p "$(dirname "$cache")" && cp -a "$prefix" "$cache.tmp" &&
    rm -rf "$cache" && mv "$cache.tmp" "$cache"; } ||
    echo "(the libraries could not be kept in $cache: they will be built again next time)"
}
