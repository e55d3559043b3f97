#!/usr/bin/env bash
# Reads the hardening of built ELF files from the files themselves (not from
# the build flags) and prints one line per file with what it found. Exits 1
# when any file lacks one of: position independence (ELF type DYN, and the
# PIE flag for an executable), a GNU_RELRO segment, immediate binding, stack
# protection (__stack_chk_fail imported), fortified libc calls (__*_chk
# imported) and, on x86-64, the landing pads (endbr64) that -fcf-protection
# puts where code is entered indirectly.
#
#   scripts/check-hardening.sh FILE...
#
# The IBT/SHSTK property note is reported where readelf shows it. The linker
# writes it only when every object linked carries it, the C library's start
# files included; it is required only when those files carry it (they do not
# on Debian 12), since no program built here could have it otherwise.
set -euo pipefail
export LC_ALL=C

if [ $# -eq 0 ]; then
  echo "usage: check-hardening.sh FILE..." >&2
  exit 2
fi

# Whether the C start files that every program links carry the IBT and SHSTK
# marks (x86 only; without a compiler, assume they do not).
start_files_marked() {
  local cc object
  cc="$(command -v cc || command -v gcc || true)"
  [ -n "$cc" ] || return 1
  for object in Scrt1.o crti.o crtn.o; do
    readelf -n "$("$cc" -print-file-name="$object")" 2>/dev/null | grep -q 'x86 feature:.*IBT.*SHSTK' ||
      return 1
  done
}
cet_note_required=0
if start_files_marked; then
  cet_note_required=1
fi

# The code addresses that any caller reaches indirectly, where -fcf-protection
# puts an endbr64: a library's exported functions, or an executable's main
# (the address _start hands to __libc_start_main in %rdi). The start files'
# own code and the statically linked C++ runtime are not ours to check.
entry_points() {
  local file="$1" entry
  if readelf -l -W "$file" | grep -q 'INTERP'; then
    entry="$(readelf -h "$file" | awk '/Entry point address/ {print $4}')"
    objdump -d --no-show-raw-insn --start-address="$entry" --stop-address=$((entry + 64)) "$file" |
      sed -n 's/.*,%rdi *# *\([0-9a-f][0-9a-f]*\).*/0x\1/p' | head -n 1
  else
    nm -D --defined-only "$file" | awk '$2 == "T" {print "0x" $1}'
  fi
}

failed=0
for file in "$@"; do
  name="$(basename "$file")"
  if ! header="$(readelf -h -W "$file" 2>/dev/null)"; then
    echo "$name: not an ELF file"
    failed=1
    continue
  fi
  dynamic="$(readelf -d -W "$file")"
  segments="$(readelf -l -W "$file")"
  imports="$(nm -D --undefined-only "$file" | awk '{print $NF}' | sed 's/@.*//')"
  found=()
  missing=()

  if grep -q 'Type:.*DYN' <<<"$header"; then
    if grep -q 'INTERP' <<<"$segments"; then
      # An executable: DYN alone could also be a shared object with an
      # interpreter; the PIE flag says it was linked as one.
      if grep -q 'FLAGS_1).*PIE' <<<"$dynamic"; then found+=("PIE"); else missing+=("PIE flag"); fi
    else
      found+=("DYN")
    fi
  else
    missing+=("PIE (type $(sed -n 's/^ *Type: *\([A-Z]*\).*/\1/p' <<<"$header"))")
  fi
  if grep -q 'GNU_RELRO' <<<"$segments"; then found+=("RELRO"); else missing+=("RELRO"); fi
  if grep -q -E '\(BIND_NOW\)|\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$dynamic"; then
    found+=("BIND_NOW")
  else
    missing+=("BIND_NOW")
  fi
  if grep -qx '__stack_chk_fail' <<<"$imports"; then
    found+=("stack-protector")
  else
    missing+=("stack-protector (no __stack_chk_fail)")
  fi
  fortified="$(grep -E '^__[a-z0-9_]+_chk$' <<<"$imports" | grep -vx '__stack_chk_fail' || true)"
  if [ -n "$fortified" ]; then
    found+=("fortify: $(wc -l <<<"$fortified") ($(tr '\n' ' ' <<<"$fortified" | sed 's/ $//'))")
  else
    missing+=("fortify (no __*_chk)")
  fi

  if grep -q 'Machine:.*X86-64' <<<"$header"; then
    entries="$(entry_points "$file")"
    total="$(grep -c . <<<"$entries" || true)"
    pads=0
    for address in $entries; do
      if objdump -d --no-show-raw-insn --start-address="$address" --stop-address=$((address + 4)) \
        "$file" | grep -q $'\tendbr64'; then
        pads=$((pads + 1))
      fi
    done
    if [ "$total" -gt 0 ] && [ "$pads" -eq "$total" ]; then
      found+=("endbr64 at $pads/$total entry points")
    else
      missing+=("CET (endbr64 at $pads/$total entry points)")
    fi
    note="$(readelf -n -W "$file" | sed -n 's/.*x86 feature: *//p' | head -n 1)"
    if [ -n "$note" ]; then
      found+=("CET note: $note")
    elif [ "$cet_note_required" -eq 1 ]; then
      missing+=("CET note (IBT/SHSTK)")
    else
      found+=("no CET note (the C start files carry none)")
    fi
  fi

  line="$name: $(printf '%s, ' "${found[@]}" | sed 's/, $//')"
  if [ ${#missing[@]} -gt 0 ]; then
    line="$line; MISSING: $(printf '%s, ' "${missing[@]}" | sed 's/, $//')"
    failed=1
  fi
  echo "$line"
done
exit "$failed"
