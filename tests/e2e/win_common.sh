# What the Windows end-to-end scripts share, after common.sh: a display of
# their own and a Wine prefix whose programs start on it, Wine's X11 driver
# without a window manager, fonts that set Japanese, and settings written
# the way regedit takes names in any script.
#
# The prefix is kept next to WINEPREFIX's (or in the work folder when that
# is not set): Wine's desktop process takes the screen's size from the
# display it was started on, and a suite's prefix has it started without
# one. Before sourcing, a script sets `work` (its temporary folder); it
# calls win_start_display WIDTH HEIGHT, and win_cleanup from its exit trap.
export WINEDEBUG=-all WINEPREFIX=${WINEPREFIX:+$WINEPREFIX-display}
WINEPREFIX=${WINEPREFIX:-$work/prefix}
xvfb_pid=
winpath() { printf 'Z:%s' "${1//\//\\}"; }
reg_text() { local t; t=$(winpath "$1"); printf '%s' "${t//\\/\\\\}"; }
# regedit_utf16: imports the regedit 5 text on standard input (UTF-8 here,
# UTF-16 for regedit, so that no name loses a character on the way).
regedit_utf16() {
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } > "$work/import.reg"
  wine regedit "$work/import.reg" >/dev/null 2>&1
}
# The non-client and dialog fonts as a LOGFONTW in regedit's hex: the
# face Noto Sans CJK JP, so that captions and the system's own dialogs
# (whose faces here have no Japanese) show their Japanese.
logfont_hex() {  # logfont_hex HEIGHT WEIGHT
  python3 -c '
import struct, sys
face = "Noto Sans CJK JP".encode("utf-16-le").ljust(64, b"\0")
font = struct.pack("<5l8B", -int(sys.argv[1]), 0, 0, 0, int(sys.argv[2]), 0, 0, 0, 0x80, 0, 0, 0, 0)
print(",".join("%02x" % b for b in font + face))' "$1" "$2"
}
# win_start_display WIDTH HEIGHT [FOLDER]: FOLDER becomes drive D:, before
# the prefix's services start, so that the shell lists the drive too.
win_start_display() {
  Xvfb -displayfd 3 -screen 0 "$1x$2x24" -nolisten tcp 3>"$work/display" 2>/dev/null &
  xvfb_pid=$!
  wait_until 10 test -s "$work/display" || { echo "FAIL no Xvfb"; exit 1; }
  export DISPLAY=":$(cat "$work/display")"
  # No program of the prefix may live on from another display; then its
  # services start on this one, before any check.
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  # A prefix whose making was cut short is made again.
  if [ ! -f "$WINEPREFIX/.made" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1 && touch "$WINEPREFIX/.made"
    wineserver -w 2>/dev/null
  fi
  [ $# -lt 3 ] || ln -sfn "$3" "$WINEPREFIX/dosdevices/d:"
  wineboot </dev/null >/dev/null 2>&1
  # Without a window manager Wine would wait seconds for one to hide a
  # window, and would draw frames of its own: windows are left unmanaged.
  {
    printf 'Windows Registry Editor Version 5.00\n\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n"Decorated"="N"\n\n'
    printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop\\WindowMetrics]\n'
    printf '"CaptionFont"=hex:%s\n' "$(logfont_hex 12 700)"
    printf '"MessageFont"=hex:%s\n' "$(logfont_hex 12 400)"
    printf '"StatusFont"=hex:%s\n\n' "$(logfont_hex 12 400)"
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\n'
    printf '"MS Shell Dlg"="Noto Sans CJK JP"\n"MS Shell Dlg 2"="Noto Sans CJK JP"\n\n'
    # The Japanese faces the program and Wine's own font links ask for.
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n'
    local face
    for face in 'ＭＳ Ｐゴシック' 'ＭＳ ゴシック' 'MS PGothic' 'MS Gothic' 'MS UI Gothic'; do
      printf '"%s"="Noto Sans CJK JP"\n' "$face"
    done
  } | regedit_utf16
}
# win_settings FOLDER DRAW-WAIT HISTORY [EXTS]: the saver's settings as the
# dialog stores them: centred full-size stills on #102040 held DRAW-WAIT
# seconds, the history file HISTORY (a Unix path, or a Windows name such as
# NUL), the movies of FOLDER (a Unix path, or a Windows one such as D:\...)
# with the extensions EXTS
# (blank-separated, "mp4" when not given). The file is a UTF-16 regedit 5
# file, so that names in any script reach the registry whole.
win_settings() {
  local folder=$1 wait=$2 history=$3 exts=${4:-mp4} ext index=0
  case "$folder" in
    [A-Z]:*) folder=${folder//\\/\\\\} ;;
    *) folder=$(reg_text "$folder") ;;
  esac
  case "$history" in
    */*) history=$(reg_text "$history") ;;
    *) history=${history//\\/\\\\} ;;
  esac
  {
    printf 'Windows Registry Editor Version 5.00\n\n'
    printf '[-HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\n\n'
    printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\n'
    printf '"Draw Posision"=dword:00000000\n"Graphics Size"=dword:00000000\n'
    printf '"Screen Clear"=dword:00000000\n"Point Cast"=""\n"Random Sort"=dword:00000000\n'
    printf '"Rotate"=dword:00000000\n"Capture"=dword:00000000\n"DispFileName"=dword:00000000\n'
    printf '"BackColor"=dword:00402010\n"Draw Wait"=dword:%08x\n"LogFile"="%s"\n' \
      "$wait" "$history"
    printf '"PreviewRandom"=dword:00000000\n"PreViewSeconds"=dword:00000005\n'
    printf '"PreViewMin"=dword:00000003\n"PreViewMax"=dword:00000005\n\n'
    printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Folders]\n"0000"="%s"\n\n' \
      "$folder"
    printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Exts]\n'
    for ext in $exts; do
      printf '"%04d"="%s"\n' "$index" "$ext"
      index=$((index + 1))
    done
  } | regedit_utf16
}
win_cleanup() {  # also ends the saver of $saver_pid, when a script has one running
  [ -n "${saver_pid:-}" ] && kill "$saver_pid" 2>/dev/null
  wine reg delete 'HKCU\Software\Norvane\Tavelune' /f >/dev/null 2>&1
  rm -f "$WINEPREFIX/dosdevices/d:"
  wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
