#!/bin/sh
# scripts/install-deps.sh against a package mirror that is out of step,
# without one: apt-get, dpkg and dpkg-query are stand-ins on PATH that log
# their calls and fail as such a mirror makes the real ones fail.
#   tests/install-deps.sh
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/scripts"
cp "$here/scripts/install-deps.sh" "$work/scripts/"
printf '#!/bin/sh\necho i386-support >>"$CALLS"\n' >"$work/scripts/i386-support.sh"

cat >"$work/bin/apt-get" <<'EOF'
#!/bin/sh
echo "apt-get $*" >>"$CALLS"
case " $* " in
  *" update "*)
    [ "$UPDATE" = ok ] && exit 0
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100 ;;
  *" install "*)
    [ "$INSTALL" = ok ] && exit 0
    case " $* " in *" -t "*) [ "$INSTALL" = release ] && exit 0 ;; esac
    echo "E: Unable to correct problems, you have held broken packages." >&2
    exit 100 ;;
esac
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/bin/sh
echo "dpkg $*" >>"$CALLS"
[ "$*" = --print-foreign-architectures ] && [ -n "$HAD_I386" ] && echo i386
exit 0
EOF
# Nothing installed, but osslsigncode where OSSLSIGNCODE names its version.
cat >"$work/bin/dpkg-query" <<'EOF'
#!/bin/sh
case "$*" in
  *osslsigncode*) [ -n "$OSSLSIGNCODE" ] && echo "install ok installed $OSSLSIGNCODE" && exit 0 ;;
esac
echo "deinstall ok config-files"
EOF
# Root's calls go straight to the stand-ins; anyone else's through sudo.
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"* "$work/scripts/"*

. "$here/tests/checks.sh"
explain() {
  sed 's/^/  | /' "$work/out"
  sed 's/^/  calls: /' "$CALLS"
}
run() {  # run UPDATE INSTALL [HAD_I386 [OSSLSIGNCODE]]: the script's status, its output in out
  CALLS="$work/calls.$1.$2${3:-}${4:-}"
  : >"$CALLS"
  CALLS=$CALLS UPDATE=$1 INSTALL=$2 HAD_I386=${3:-} OSSLSIGNCODE=${4:-} SESTOR_APT_PAUSE=0 \
    PATH="$work/bin:$PATH" sh "$work/scripts/install-deps.sh" >"$work/out" 2>&1
}
said() { grep -q "$1" "$work/out"; }
called() { grep -q "$1" "$CALLS"; }

# A working mirror: one update, one install, nothing more.
run ok ok
check "a working mirror installs" [ $? -eq 0 ]
check "a working mirror is updated once" [ "$(grep -c update "$CALLS")" -eq 1 ]
check "a working mirror needs no word about it" not said "out of step"
check "a working mirror goes on" called i386-support
# Without GoogleTest the tests would not build, and CTest would find none;
# signing a release needs the next five, and one osslsigncode, the release's
# own, in place of another (backports' signs otherwise).
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
for p in googletest g++-mingw-w64-i686 wine32:i386 xvfb openssl \
  libengine-pkcs11-openssl python3-cryptography softhsm2 "osslsigncode/$codename"; do
  check "$p is installed" called "install .*--allow-downgrades.* $p\( \|$\)"
done
run ok ok "" 2.9-1~bpo12+1
check "another osslsigncode is replaced" called "install .* osslsigncode/$codename"
run ok ok "" 2.5-4
check "the release's own stays" not called "osslsigncode"

# Lists that can't all be read, but what apt has still installs.
run fail release
check "missing lists that still install" [ $? -eq 0 ]
check "the update is tried three times" [ "$(grep -c update "$CALLS")" -eq 3 ]
check "the install falls back to the release's versions" called "install .*-t "
check "the install goes on" called i386-support

# Nothing can be installed: the plain message, and a failure.
run fail fail
status=$?
check "an out-of-step mirror fails" [ "$status" -ne 0 ]
check "an out-of-step mirror is explained" said "package mirror is out of step"
check "apt's own words are shown" said "File has unexpected size"
check "the user is told nothing changed" said "Nothing on this machine was changed"
check "the user is told what to do" said "run \`make test\`"
check "the i386 architecture is taken back" called "dpkg --remove-architecture i386"
check "nothing goes on" not called i386-support
check "no bare error" not said "Error 100"

# The same where the machine had i386 already: that stays as it was.
run fail fail yes
check "a failure with i386 there fails" [ $? -ne 0 ]
check "i386 there before is not added" not called "add-architecture"
check "i386 there before stays" not called "remove-architecture"

report install-deps
