#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks it as a machine and a partner would
# meet it: versioned libraries with their sonames, no RUNPATH outside the installed tree,
# no path of the build or source tree in any installed file, every header compiling as
# C++17, a client built outside the tree through the CMake package and through pkg-config,
# and the installed lumora-admin making a working installation from the installed files.
#   check_install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1") source=$(realpath "$2")
work=$(mktemp -d "${TMPDIR:-/tmp}/lumora-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
# A prefix with a space, as a folder a user picks may have.
prefix="$work/the prefix"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'liblumora-automation.so.1' -print -quit)")
[ -d "$libdir" ] || { echo "FAIL: no liblumora-automation.so.1 installed"; exit 1; }
# Debian's multiarch library folder whatever the prefix, as the guides say.
multiarch=$(gcc -print-multiarch 2>/dev/null || true)
[ -z "$multiarch" ] || [ "$libdir" = "$prefix/lib/$multiarch" ] ||
  fail "the libraries are in ${libdir#"$prefix"/}, not lib/$multiarch"
# Where Debian looks for the package's copyright and changelog (lintian fails it otherwise).
[ -f "$prefix/share/doc/lumora-profile/copyright" ] || fail "no share/doc/lumora-profile/copyright"

for lib in liblumora-automation libprprofile liblumora-services; do
  real=$(readlink -f "$libdir/$lib.so.1" || true)
  [ -f "$real" ] || { fail "$lib.so.1 is missing"; continue; }
  soname=$(readelf -d "$real" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "$lib.so.1" ] || fail "$lib has soname '$soname', not $lib.so.1"
done
[ -L "$libdir/liblumora-automation.so" ] || fail "no development link liblumora-automation.so"

# Every ELF file: a RUNPATH, if any, only relative to the file itself.
while IFS= read -r -d '' file; do
  head -c 4 "$file" | grep -q 'ELF' || continue
  for entry in $(readelf -d "$file" | sed -n 's/.*(R[UN]*PATH).*\[\(.*\)\]/\1/p' | tr ':' ' '); do
    case "$entry" in
      '$ORIGIN'*) ;;
      *) fail "${file#"$prefix"/} has the search path $entry" ;;
    esac
  done
done < <(find "$prefix" -type f -print0)

# No installed file names the build or the source tree (debug information included).
if grep -rlaF -e "$build" -e "$source" "$prefix" >"$work/paths"; then
  fail "installed files name the build tree: $(tr '\n' ' ' <"$work/paths")"
fi

# Installing stripped (as a package does) must leave lumora-admin's signature whole.
cmake --install "$build" --prefix "$work/stripped" --strip --component runtime >/dev/null
"$prefix/bin/lumora-sign" --verify --anchors "$prefix/lib/lumora/product-root.pem" "$work/stripped/bin/lumora-admin" \
  >"$work/verify.txt" || fail "a stripped installation breaks lumora-admin's signature: $(cat "$work/verify.txt")"

# The headers alone, in C++17.
for header in "$prefix"/include/lumora/*.h; do
  echo "#include \"lumora/$(basename "$header")\"" >"$work/one.cc"
  g++ -std=c++17 -Wall -Wextra -Werror -pedantic -fsyntax-only -I"$prefix/include" "$work/one.cc" ||
    fail "lumora/$(basename "$header") does not compile as C++17"
done

# The client, both ways.
cmake -S "$source/tests/install/client" -B "$work/client-cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/client-cmake" >/dev/null
# The example partner program, as a partner builds it: its own CMakeLists against the
# installation, signed after linking by the installed lumora-sign.
demo=$build/examples/demo-authority
PATH=$prefix/bin:$PATH cmake -S "$source/examples/partner-planner" -B "$work/planner" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" -DPLANNER_SIGNING_CERT="$demo/planner.pem" -DPLANNER_SIGNING_KEY="$demo/planner.key" \
  -DPLANNER_SIGNING_CHAIN="$demo/planner-chain.pem" >/dev/null
cmake --build "$work/planner" >/dev/null
"$prefix/bin/lumora-sign" --verify --anchors "$demo/demo-root.pem" "$work/planner/partner-planner" >"$work/verify.txt" ||
  fail "the example built outside the tree is not validly signed: $(cat "$work/verify.txt")"
PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --exists lumora-profile || fail "pkg-config does not know lumora-profile"
# pkg-config escapes the spaces of a prefix; a shell takes them back with eval, make as is.
flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs lumora-profile)
eval "g++ -std=c++17 -Wall -Wextra -Werror -pedantic -o \"\$work/client-pc\" \
  \"\$source/tests/install/client/client.cc\" $flags -Wl,-rpath,\"\$libdir\"" ||
  fail "the client does not build with the flags pkg-config gives: $flags"

# An installation made by the installed tool from the installed files alone.
home=$work/home
"$prefix/bin/lumora-admin" --version | grep -q '^lumora-admin ' || fail "lumora-admin --version"
"$prefix/bin/lumora-sign" --version | grep -q '^lumora-sign ' || fail "lumora-sign --version"
# The consent helper, where the component looks for it, when this build has it.
if [ -e "$prefix/lib/lumora/lumora-consent" ]; then
  "$prefix/lib/lumora/lumora-consent" --version | grep -q '^lumora-consent ' || fail "lumora-consent --version"
fi
"$prefix/bin/lumora-admin" --home "$home" init >"$work/init.txt" || { cat "$work/init.txt"; fail "init"; }
grep -q '^root section: registered for Lumora Profile' "$work/init.txt" ||
  fail "the installed lumora-admin is not validly signed: $(grep -i 'root\|lumora-admin' "$work/init.txt")"
grep -q "registered: companion services from $libdir/liblumora-services.so.1" "$work/init.txt" ||
  fail "init did not register the installed services"
if grep -rlaF -e "$build" -e "$source" "$home" >"$work/paths"; then
  fail "the installation names the build tree: $(tr '\n' ' ' <"$work/paths")"
fi
"$prefix/bin/lumora-admin" --home "$home" check >/dev/null || fail "check of the new installation"
for client in "$work/client-cmake/install-client" "$work/client-pc"; do
  LUMORA_HOME=$home "$client" >"$work/client.txt" || fail "$client failed: $(cat "$work/client.txt")"
  grep -q '^create: 0x00000000$' "$work/client.txt" || fail "$client cannot create the component"
  grep -q '^grant: 0x80070005$' "$work/client.txt" || fail "$client, unsigned, was not refused its section"
done

# Bash completion, as installed, with or without the bash-completion package.
completions=$prefix/share/bash-completion/completions
completed=$(PATH=$prefix/bin:$PATH bash -c '
  source "$1/lumora-admin"; source "$1/lumora-sign"
  t() { COMPREPLY=(); COMP_WORDS=("${@:2}"); COMP_CWORD=$(($# - 2)); "$1"; echo "${COMPREPLY[*]}"; }
  t _lumora_admin lumora-admin cr; t _lumora_admin lumora-admin --home /tmp consent set s
  t _lumora_admin lumora-admin init --install; t _lumora_sign lumora-sign --ver' _ "$completions")
[ "$completed" = $'create\nscript:\n--install-dir\n--verify --version' ] || fail "bash completion gave: $completed"
# Every command the program lists is completed and has its entry in the manual page.
commands=$("$prefix/bin/lumora-admin" --help | sed -n '/^commands:/,/^$/s/^  \([a-z-]*\) .*/\1/p')
known=$(PATH=$prefix/bin:$PATH bash -c '
  source "$1/lumora-admin"; COMP_WORDS=(lumora-admin ""); COMP_CWORD=1; _lumora_admin; echo "${COMPREPLY[*]}"' \
  _ "$completions")
manual=$(gzip -dc "$prefix/share/man/man1/lumora-admin.1.gz")
for command in $commands; do
  [[ " $known " == *" $command "* ]] || fail "bash completion does not know the command $command"
  grep -qE "^\.B[IR]? \"?${command//-/\\\\-}([ \"]|$)" <<<"$manual" ||
    fail "the manual page does not describe the command $command"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) of the installed tree failed"
  exit 1
fi
echo "installed tree checked: $prefix"
