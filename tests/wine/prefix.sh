#!/usr/bin/env bash
# Makes the Wine prefix the other Wine tests use, afresh: a 32-bit Windows
# set-up of its own in the build tree, so no user's Wine is touched.
here=$(dirname "$0")
source "$here/common.sh"

stop_wine
rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
# No X display: the set-up needs none, and the desktop process must not
# stay bound to one.
unset DISPLAY
wine wineboot -i >"$work/boot" 2>&1 || { cat "$work/boot"; fail "wineboot could not make the prefix"; }

# The program asks for the face "Console", which no system has, so the
# font mapper picks a stand-in. Pictures are compared with the native
# platform layer's, whose built-in face is 9 pixels high (ascent 7) at the
# character height 8 asked for; the text height sets the whole screen
# layout. DejaVu Sans Mono has that height, so it stands in for "Console".
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Console /t REG_SZ /d 'DejaVu Sans Mono' /f \
  >"$work/reg" 2>&1 || { cat "$work/reg"; fail "the font replacement could not be set"; }
# The registry is written out when the server ends.
stop_wine
[ -f "$WINEPREFIX/user.reg" ] || fail "no registry in the new prefix"
grep -q '"Console"="DejaVu Sans Mono"' "$WINEPREFIX/user.reg" || fail "the font replacement is not in the registry"
echo "prefix ready: $WINEPREFIX"
