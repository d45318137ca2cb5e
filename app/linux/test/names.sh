# The table of file names as real folders hold them, run through the built
# program on a display: each copy must give the very bytes the file system
# holds, for every UTF-8 target the clipboard offers, in file-name mode and
# path mode, for one name and several; and a copy whose box is up while the
# settings file is written by someone else leaves what they wrote.
# Sourced by e2e_test.sh (X11) and wayland_test.sh (sway), which define:
#   names_start ARGS...  runs the program in $dir with ARGS in the background
#                        (as the test's user), its pid in $caller
#   names_box_up         waits for the program's message box; fails without one
#   names_box_ok         presses OK in it
#   names_paste TARGET   prints the clipboard's content for TARGET
#   names_targets        the UTF-8 targets to read
# and lib.sh's check.

# A folder of the table's names in $1, readable by anyone.
names_folder() {
  local d=$1
  mkdir -p "$d"
  chmod 755 "$d"
  : >"$d/caf"$'\xe9'".txt"  # Latin-1
  : >"$d/"$'\x95\x5c'".txt"  # 表.txt in Shift_JIS: its second byte is a backslash
  ln -s "$d/gone" "$d/dangling"
  : >"$d/a\\b.txt"
  : >"$d/new"$'\n'"line.txt"
  : >"$d/README"
  : >"$d/$(printf '\xe9%.0s' $(seq 251)).txt"  # 255 bytes, the longest name there is
}
names=("caf"$'\xe9'".txt" $'\x95\x5c'".txt" dangling 'a\b.txt' "new"$'\n'"line.txt" "$(printf '\xe9%.0s' $(seq 251)).txt")
bases=("caf"$'\xe9' $'\x95\x5c' dangling 'a\b' "new"$'\n'"line" "$(printf '\xe9%.0s' $(seq 251))")
labels=(Latin-1 Shift_JIS dangling-link backslash newline 255-bytes)

hex() { od -An -v -tx1 | tr -d ' \n'; }

# names_row WHAT WANT ARGS...: one start; its box (when not in file-name
# mode) confirmed; every target then holds exactly the bytes WANT.
names_row() {
  local what=$1 want=$2 target
  shift 2
  names_start "$@"
  if [ "$1" != '$FILENAME$' ]; then
    check "$what: message box" names_box_up && names_box_ok
  fi
  wait "$caller"
  check "$what: status 0" test $? -eq 0
  for target in "${names_targets[@]}"; do
    check "$what: $target holds the bytes" test "$(names_paste "$target" | hex)" = "$(printf '%s' "$want" | hex)"
  done
}

# names_table FOLDER: the whole table with the program in $dir, whose
# settings it sets itself.
names_table() {
  local d=$1 i all_paths=() all_names=""
  names_folder "$d"
  printf 'TAG-SET=NO\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=NO\r\n' >"$dir/kestrova.ini"
  for i in "${!names[@]}"; do
    names_row "name, ${labels[i]}" "${bases[i]}" '$FILENAME$' "$d/${names[i]}"
    all_paths+=("$d/${names[i]}")
    all_names+="${all_names:+$'\r\n'}${bases[i]}"
  done
  for i in 0 1; do
    names_row "path, ${labels[i]}" "$d/${names[i]}" "$d/${names[i]}"
  done
  # A paste into a terminal gives a name the shell can open.
  check "path, ${labels[1]}: the pasted path opens" test -e "$(names_paste "${names_targets[0]}")"
  names_row "names, all six" "$all_names" '$FILENAME$' "${all_paths[@]}"
  local joined
  joined=$(printf '%s\r\n' "${all_paths[@]}")
  names_row "paths, all six" "${joined%$'\r'}" "${all_paths[@]}"
  names_row "name, one quoted path without extension" README '$FILENAME$' "\"$d/README\""

  # Two copies: this one's box is up while the file is written by another
  # copy's close or by hand; its OK must not write its own start back.
  local other='DRIVE-CHG=Y,\\\\added\\\r\nTAG-SET=YES\r\nCRLF-SET=YES\r\nDRIVE-CHG-SET=NO\r\n'
  names_start "$d/README"
  check "two copies: message box" names_box_up
  printf '%b' "$other" >"$dir/kestrova.ini.new" && mv "$dir/kestrova.ini.new" "$dir/kestrova.ini"
  names_box_ok
  wait "$caller"
  check "two copies: status 0" test $? -eq 0
  check "two copies: what the other wrote stays" test "$(cat "$dir/kestrova.ini")" = "$(printf '%b' "$other")"
}
