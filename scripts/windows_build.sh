# Sourced by the scripts that build and run the Windows program: chooses the build this host can run.
#   QV_WINDOWS_BUILD   win32 where the host runs 32-bit programs, else win64 (a preset's name); set it
#                      to win64 beforehand to test the 64-bit build on any host
#   QV_WINDOWS_BUILD_WHY  one line saying why
# For win64, scripts/wine64 goes first on PATH: its wine and wineserver are Wine's 64-bit loader and
# server, called directly, since Debian's wine wrapper picks the 32-bit loader whenever it is
# installed, even where the kernel cannot start it.

# True when the kernel starts a 32-bit Linux program. The probe is a 93-byte static i386 ELF that
# only exits 0, so it needs no 32-bit library: where 32-bit emulation is off, execve refuses it.
qv_host_runs_32bit() {
  local probe rc
  probe=$(mktemp "${TMPDIR:-/tmp}/qv-elf32.XXXXXX") || return 1
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' > "$probe"           # 32-bit, little-endian
  printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >> "$probe" # exec, i386, entry, phoff
  printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000' >> "$probe"
  printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >> "$probe" # PT_LOAD of the file
  printf '\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000' >> "$probe"
  printf '\270\001\000\000\000\061\333\315\200' >> "$probe"                            # exit(0)
  chmod +x "$probe"
  "$probe" >/dev/null 2>&1
  rc=$?
  rm -f "$probe"
  return $rc
}

qv_choose_windows_build() {
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  if [ -n "${QV_WINDOWS_BUILD_WHY:-}" ] && [ -n "${QV_WINDOWS_BUILD:-}" ]; then
    :  # chosen already, by the script that started this one
  elif qv_host_runs_32bit; then
    case "${QV_WINDOWS_BUILD:-win32}" in
      win64) QV_WINDOWS_BUILD_WHY="the 64-bit build, as QV_WINDOWS_BUILD asks" ;;
      *) QV_WINDOWS_BUILD=win32 QV_WINDOWS_BUILD_WHY="the 32-bit build: this host runs 32-bit programs" ;;
    esac
  else
    [ "${QV_WINDOWS_BUILD:-}" = win32 ] &&
      echo "QV_WINDOWS_BUILD=win32 cannot run here: the kernel does not start 32-bit programs" >&2
    QV_WINDOWS_BUILD=win64
    QV_WINDOWS_BUILD_WHY="the 64-bit build under 64-bit Wine: this host cannot run 32-bit programs (32-bit emulation is off)"
  fi
  if [ "$QV_WINDOWS_BUILD" = win64 ]; then
    case ":$PATH:" in *":$root/scripts/wine64:"*) ;; *) PATH=$root/scripts/wine64:$PATH ;; esac
  fi
  export QV_WINDOWS_BUILD QV_WINDOWS_BUILD_WHY PATH
}
qv_choose_windows_build
