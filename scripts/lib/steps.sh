# Sourced by scripts/demo and scripts/test. `step NAME...` announces the next step as it
# starts; when the script exits, a table gives the time each step took, the total, and the
# step that failed, if one did.
step_names=()
step_times=()
step_started=
steps_started=$EPOCHREALTIME

# Seconds since a $EPOCHREALTIME value, with one decimal.
steps_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }'; }

steps_close() {
  [ -n "$step_started" ] || return 0
  step_times+=("$(steps_since "$step_started")")
  step_started=
}

step() {
  steps_close
  step_names+=("$*")
  step_started=$EPOCHREALTIME
  printf '\n==> %s  [%s]\n' "$*" "$(date +%H:%M:%S)"
}

steps_summary() {
  local status=$? i
  steps_close
  printf '\n==> %s: time per step\n' "$(basename "$0")"
  for i in "${!step_names[@]}"; do
    printf '  %7s s  %s\n' "${step_times[$i]}" "${step_names[$i]}"
  done
  printf '  %7s s  in all\n' "$(steps_since "$steps_started")"
  if ((status != 0)) && ((${#step_names[@]})); then
    printf '==> FAILED (exit status %d) in: %s\n' "$status" "${step_names[-1]}"
  fi
}
trap steps_summary EXIT
