#!/usr/bin/env bash
# Mutation check: do the tests catch the faults they are there for? Puts each hand-written fault of a list
# (tests/mutation/faults.txt, which describes the format) into a scratch copy of the tree, one at a time, builds
# that copy incrementally with the fault's CMake preset, runs the tests the fault names and says whether one of
# them failed. The working tree is never changed.
#
#   scripts/mutation-check.sh [OPTIONS] [NAME...]
#
# NAME selects faults by name (shell patterns, e.g. 'verify-*'); without one, every fault of the list runs.
# Options:
#   --list FILE        the fault list (default tests/mutation/faults.txt)
#   --preset PRESET    only the faults of this preset
#   --tests-from REF   take tests/ from the commit REF (e.g. main) instead of the working tree: what the tests of
#                      REF catch of the same faults
#   --timeout SECONDS  longest run of one test (default 600); a test that takes longer counts as failing
#   -j JOBS            parallel build jobs (default: the number of processors)
#   --dry-run          only put each fault into the scratch copy and show the change it makes (diff -u), without
#                      building: whether the texts of new faults match
#
# The scratch copy is build/mutation/tree (its builds in build/mutation/tree/build/PRESET, kept between runs so
# that each build is incremental); the log of each fault is build/mutation/logs/PRESET/NAME.log. Before any
# fault, the unchanged copy is built and the tests of the preset's faults run: they must all pass.
# Prints one line per fault (caught, MISSED, SKIPPED when every test it names was skipped, NO MATCH when its text
# to find is not in the file exactly once, NO BUILD, NO TESTS when no test matches) and at the end how many were
# caught. Exits 0 when every fault was caught, 1 when not, 2 on a usage or setup error. Run it as root to
# include the tests on a real card (they are skipped otherwise).
set -uo pipefail
shopt -u patsub_replacement 2>/dev/null  # "&" in a replacement text is just "&"
caller=$PWD  # a relative --list names a file from where the script was started
cd "$(dirname "$0")/.." || exit 2
repo=$(pwd)

usage() { sed -n '2,/^set -uo/{/^set -uo/d;s/^# \{0,1\}//;p}' "$0"; }
die() {
  echo "mutation-check: $*" >&2
  exit 2
}

list=tests/mutation/faults.txt
only_preset=
tests_from=
dry_run=0
timeout=600
jobs=$(nproc 2>/dev/null || echo 2)
patterns=()
while [ $# -gt 0 ]; do
  case $1 in
    --list | --preset | --tests-from | --timeout | -j) [ $# -ge 2 ] || die "$1 needs a value" ;;&
    --list) list=$(cd "$caller" && realpath -m -- "$2") && shift 2 ;;
    --preset) only_preset=$2 && shift 2 ;;
    --tests-from) tests_from=$2 && shift 2 ;;
    --timeout) timeout=$2 && shift 2 ;;
    -j) jobs=$2 && shift 2 ;;
    --dry-run) dry_run=1 && shift ;;
    -h | --help) usage && exit 0 ;;
    -*) die "unknown option $1 (see --help)" ;;
    *) patterns+=("$1") && shift ;;
  esac
done
[ -f "$list" ] || die "no fault list $list"
if [ -n "$tests_from" ]; then
  git rev-parse --verify -q "$tests_from^{commit}" >/dev/null || die "--tests-from: no commit $tests_from"
fi

# ---- The fault list ----
# Fault i: name[i], about[i], preset[i], tests[i]; its edits are the edit numbers first_edit[i] to
# first_edit[i] + edit_count[i] - 1, edit e changing edit_file[e] from edit_find[e] to edit_replace[e].
name=() about=() preset=() tests=() first_edit=() edit_count=()
edit_file=() edit_find=() edit_replace=() edit_has_find=() edit_has_replace=()
parse_list() {
  local line number=0 f=-1 e=-1 field value
  while IFS= read -r line || [ -n "$line" ]; do
    number=$((number + 1))
    case $line in
      '' | '#'*) continue ;;
      '-' | '- '* | '+' | '+ '*)
        if [ "$e" -lt 0 ] || [ "${edit_count[f]}" -eq 0 ]; then
          die "$list:$number: a text line before the fault's first file:"
        fi
        value=${line:2}
        if [ "${line:0:1}" = - ]; then
          [ "${edit_has_replace[e]}" = 1 ] && die "$list:$number: a text to find after its replacement"
          [ "${edit_has_find[e]}" = 1 ] && edit_find[e]+=$'\n'
          edit_find[e]+=$value
          edit_has_find[e]=1
        else
          [ "${edit_has_find[e]}" = 1 ] || die "$list:$number: a replacement before the text to find"
          [ "${edit_has_replace[e]}" = 1 ] && edit_replace[e]+=$'\n'
          edit_replace[e]+=$value
          edit_has_replace[e]=1
        fi
        continue
        ;;
    esac
    [[ $line =~ ^([a-z]+):\ *(.*)$ ]] || die "$list:$number: cannot read: $line"
    field=${BASH_REMATCH[1]} value=${BASH_REMATCH[2]}
    if [ "$field" = fault ]; then
      [[ $value =~ ^[A-Za-z0-9_-]+$ ]] || die "$list:$number: a fault name is letters, digits, '-' and '_'"
      for existing in "${name[@]}"; do [ "$existing" = "$value" ] && die "$list:$number: $value named twice"; done
      f=$((f + 1))
      name[f]=$value about[f]='' preset[f]=linux tests[f]='' first_edit[f]=$((e + 1)) edit_count[f]=0
      continue
    fi
    [ "$f" -ge 0 ] || die "$list:$number: $field: before the first fault:"
    case $field in
      about) about[f]=$value ;;
      preset) preset[f]=$value ;;
      tests) tests[f]=$value ;;
      file)
        [ -f "$value" ] || die "$list:$number: no file $value in the repository"
        e=$((e + 1))
        edit_file[e]=$value edit_find[e]='' edit_replace[e]='' edit_has_find[e]=0 edit_has_replace[e]=0
        edit_count[f]=$((edit_count[f] + 1))
        ;;
      *) die "$list:$number: unknown field $field:" ;;
    esac
  done <"$list"
  local i
  for i in "${!name[@]}"; do
    [ -n "${tests[i]}" ] || die "fault ${name[i]} names no tests"
    [ "${edit_count[i]}" -gt 0 ] || die "fault ${name[i]} changes no file"
    for ((e = first_edit[i]; e < first_edit[i] + edit_count[i]; e++)); do
      [ -n "${edit_find[e]}" ] || die "fault ${name[i]}: no text to find in ${edit_file[e]}"
    done
  done
}
parse_list

# The faults this run takes, in list order.
selected=()
for i in "${!name[@]}"; do
  [ -n "$only_preset" ] && [ "${preset[i]}" != "$only_preset" ] && continue
  if [ ${#patterns[@]} -gt 0 ]; then
    chosen=0
    for p in "${patterns[@]}"; do
      # shellcheck disable=SC2053  # the pattern is a glob on purpose
      [[ ${name[i]} == $p ]] && chosen=1
    done
    [ "$chosen" = 1 ] || continue
  fi
  selected+=("$i")
done
for p in "${patterns[@]}"; do
  found=0
  # shellcheck disable=SC2053
  for i in "${!name[@]}"; do [[ ${name[i]} == $p ]] && found=1; done
  [ "$found" = 1 ] || die "no fault named $p in $list"
done
[ ${#selected[@]} -gt 0 ] || die "no fault of $list is selected"

presets=()
for i in "${selected[@]}"; do
  [[ " ${presets[*]} " == *" ${preset[i]} "* ]] || presets+=("${preset[i]}")
done

if [ "$dry_run" = 0 ]; then
  . scripts/packages.sh
  packages=("${LINUX_BUILD_PACKAGES[@]}" "${LINUX_TEST_PACKAGES[@]}")
  [[ " ${presets[*]} " == *" windows"* ]] && packages+=("${WINDOWS_TEST_PACKAGES[@]}")
  [[ " ${presets[*]} " == *" linux-arm64 "* ]] && packages+=("${ARM64_BUILD_PACKAGES[@]}")
  ensure_packages "${packages[@]}" || die "the packages the builds need could not be installed"
  . tests/win32/wine.sh
  wine_runs_32bit >/dev/null || true  # once; every Windows test below reads the answer from SCALEBOOT_WINE32
fi

# ---- The scratch copy ----
work=$repo/build/mutation
tree=$work/tree
mkdir -p "$tree" "$work/logs"
exec 9>"$work/lock"
flock -n 9 || die "another mutation check is using $tree"

# Makes the scratch tree hold exactly the working tree's files (tracked and new ones git does not ignore), with
# tests/ from --tests-from when given. Only files whose content differs are copied, so that they alone look
# changed to the incremental build.
sync_tree() {
  local wanted=$work/files.wanted src=$work/files.source f
  git ls-files -z --cached --others --exclude-standard >"$src"
  : >"$wanted"
  if [ -n "$tests_from" ]; then
    rm -rf "$work/tests-from"
    mkdir -p "$work/tests-from"
    git archive "$tests_from" tests | tar -x -C "$work/tests-from" || die "cannot read tests/ of $tests_from"
  fi
  while IFS= read -r -d '' f; do
    [ -n "$tests_from" ] && [[ $f == tests/* ]] && continue
    [ -f "$f" ] || continue  # deleted in the working tree
    copy_if_changed "$f" "$f"
    printf '%s\0' "$f" >>"$wanted"
  done <"$src"
  if [ -n "$tests_from" ]; then
    while IFS= read -r -d '' f; do
      copy_if_changed "$work/tests-from/$f" "$f"
      printf '%s\0' "$f" >>"$wanted"
    done < <(cd "$work/tests-from" && find tests -type f -print0)
  fi
  # Whatever else the scratch tree holds, but for its builds, is gone from the source.
  declare -A keep=()
  while IFS= read -r -d '' f; do keep[$f]=1; done <"$wanted"
  while IFS= read -r -d '' f; do
    f=${f#./}
    [ -n "${keep[$f]:-}" ] || rm -f "$tree/$f"
  done < <(cd "$tree" && find . -path ./build -prune -o -type f -print0)
}
copy_if_changed() {  # copy_if_changed SOURCE TREE_PATH
  cmp -s "$1" "$tree/$2" && return 0
  mkdir -p "$(dirname "$tree/$2")"
  rm -f "$tree/$2"
  cp "$1" "$tree/$2"
}

# Sets file_text to the text of a file, its last line break included (which a command substitution of the
# text itself would drop).
read_file() {
  file_text=$(
    cat "$1"
    printf x
  )
  file_text=${file_text%x}
}

# How often NEEDLE occurs in HAYSTACK (without overlaps).
occurrences() {
  local rest=${1//"$2"/}
  echo $(((${#1} - ${#rest}) / ${#2}))
}

configure() {  # configure PRESET LOG: configures the scratch tree's build, the output into LOG
  (cd "$tree" && cmake --preset "$1" -DSCALEBOOT_BUILD_TESTS=ON) >"$2" 2>&1
}
# Builds the scratch tree, the output added to LOG; the build configures again by itself when a fault changes
# a CMake file.
build() {  # build PRESET LOG
  (cd "$tree" && cmake --build --preset "$1" -j "$jobs") >>"$2" 2>&1
}

# Runs the tests REGEX of PRESET in the scratch tree, adding their output to LOG; sets ran (how many),
# skipped (how many of them were skipped) and failures (the names of those that failed). False when no test
# matches.
ran=0 failures=() skipped=0
run_tests() {  # run_tests PRESET REGEX LOG
  local out=$work/ctest.out status line
  (cd "$tree" && ctest --preset "$1" -R "$2" --timeout "$timeout" --no-tests=error) >"$out" 2>&1
  status=$?
  cat "$out" >>"$3"
  ran=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$out" | tail -n1)
  ran=${ran:-0}
  skipped=$(sed -n '/^The following tests did not run:/,/^$/p' "$out" | grep -c ' - ')
  failures=()
  while IFS= read -r line; do
    failures+=("$line")
  done < <(sed -nE '/^The following tests FAILED:/,/^Errors while running/s/^[[:space:]]*[0-9]+ - (.*) \([^()]*\)$/\1/p' "$out")
  [ "$status" -eq 0 ] || [ ${#failures[@]} -gt 0 ] || failures=("(ctest failed: see $3)")
  [ "$ran" -gt 0 ]
}

# Puts every edit of fault I into the scratch tree, or none: sets original (the text of each file it changed)
# and, when an edit's text to find is not there exactly once, problem.
declare -A original=()
problem=
apply_fault() {  # apply_fault I
  local e target count
  original=() problem=
  for ((e = first_edit[$1]; e < first_edit[$1] + edit_count[$1]; e++)); do
    target=$tree/${edit_file[e]}
    read_file "$target"
    count=$(occurrences "$file_text" "${edit_find[e]}")
    if [ "$count" -ne 1 ]; then
      problem="${edit_file[e]}: the text to find occurs $count times, not once"
      restore_fault
      return 1
    fi
    [ -n "${original[${edit_file[e]}]+set}" ] || original[${edit_file[e]}]=$file_text
    printf '%s' "${file_text/"${edit_find[e]}"/"${edit_replace[e]}"}" >"$target"
  done
}
# Puts back the files the fault changed, with a new time stamp, so that the next build compiles them again.
restore_fault() {
  local f
  for f in "${!original[@]}"; do printf '%s' "${original[$f]}" >"$tree/$f"; done
  original=()
}

# Interrupted, the scratch tree gets its source back (the next run would copy it again anyway).
trap 'restore_fault; echo "mutation-check: interrupted" >&2; exit 130' INT TERM

echo "Mutation check: ${#selected[@]} of ${#name[@]} faults of $list${tests_from:+, tests from $tests_from}"
echo "Scratch copy: $tree"
sync_tree

caught=0 missed=() width=0
for i in "${selected[@]}"; do [ ${#name[i]} -gt "$width" ] && width=${#name[i]}; done
report() {  # report VERDICT INDEX DETAIL
  printf '%-8s  %-*s  %-11s  %s\n' "$1" "$width" "${name[$2]}" "${preset[$2]}" "$3"
}

if [ "$dry_run" = 1 ]; then
  applied=0
  for i in "${selected[@]}"; do
    if apply_fault "$i"; then
      report applies "$i" "${about[i]}"
      for f in "${!original[@]}"; do
        diff -u --label "a/$f" --label "b/$f" <(printf '%s' "${original[$f]}") "$tree/$f" | sed 's/^/    /'
      done
      restore_fault
      applied=$((applied + 1))
    else
      report "NO MATCH" "$i" "$problem"
    fi
  done
  echo "$applied of ${#selected[@]} faults apply."
  [ "$applied" -eq ${#selected[@]} ]
  exit
fi

for p in "${presets[@]}"; do
  mkdir -p "$work/logs/$p"
  log=$work/logs/$p/unchanged.log
  echo "--- $p: building the unchanged tree and running the faults' tests (log: ${log#"$repo"/})"
  if ! configure "$p" "$log" || ! build "$p" "$log"; then
    tail -n 20 "$log" | sed 's/^/    /'
    die "$p: the unchanged tree does not build"
  fi
  # Each test selection of this preset's faults once (CMake's regular expressions take ten groups at most, too
  # few to join them all into one).
  regexes=()
  for i in "${selected[@]}"; do
    [ "${preset[i]}" = "$p" ] || continue
    printf '%s\n' "${regexes[@]}" | grep -qxF -- "${tests[i]}" || regexes+=("${tests[i]}")
  done
  for regex in "${regexes[@]}"; do
    run_tests "$p" "$regex" "$log" || die "$p: no test matches $regex"
    [ ${#failures[@]} -eq 0 ] || die "$p: tests fail without any fault: ${failures[*]}"
    if [ "$skipped" -gt 0 ]; then
      echo "    $regex: $ran tests pass, $skipped of them skipped (a skipped test catches nothing; the card tests need root)"
    else
      echo "    $regex: $ran tests pass"
    fi
  done

  for i in "${selected[@]}"; do
    [ "${preset[i]}" = "$p" ] || continue
    log=$work/logs/$p/${name[i]}.log
    : >"$log"
    if apply_fault "$i"; then
      if ! build "$p" "$log"; then
        report "NO BUILD" "$i" "see ${log#"$repo"/}"
        missed+=("${name[i]}")
      elif ! run_tests "$p" "${tests[i]}" "$log"; then
        report "NO TESTS" "$i" "no test matches ${tests[i]}"
        missed+=("${name[i]}")
      elif [ ${#failures[@]} -gt 0 ]; then
        list_text=$(printf '%s, ' "${failures[@]}")
        report caught "$i" "${#failures[@]} of $ran tests fail: ${list_text%, }"
        caught=$((caught + 1))
      elif [ "$skipped" -eq "$ran" ]; then
        report SKIPPED "$i" "all $ran tests were skipped (the card tests need root)"
        missed+=("${name[i]}")
      else
        report MISSED "$i" "all $ran tests pass$([ "$skipped" -gt 0 ] && echo " ($skipped skipped)")${about[i]:+: ${about[i]}}"
        missed+=("${name[i]}")
      fi
    else
      report "NO MATCH" "$i" "$problem"
      missed+=("${name[i]}")
    fi
    restore_fault
  done
done

total=${#selected[@]}
echo "Caught $caught of $total faults ($((caught * 100 / total)) %)."
[ ${#missed[@]} -eq 0 ] || echo "Not caught: ${missed[*]}"
[ "$caught" -eq "$total" ]
