#!/usr/bin/env bash
# The Ansible task of docs/unattended.md, run as written against localhost:
# the first run installs (changed), the second finds the file of `creates:`
# and leaves it (ok). Skipped (77) where ansible-playbook is not installed.
#   ansible_unattended.sh SETUPKIT WORKDIR
set -euo pipefail
command -v ansible-playbook >/dev/null || { echo "SKIPPED: ansible-playbook is not installed" >&2; exit 77; }
setupkit=$(realpath "$1")
work=$2
repo=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work"
mkdir -p "$work/src"
cd "$work"
echo "read me" >src/readme.txt
"$setupkit" medium --single-file demo-setup.run --title "Demo" --app "Demo" --dest 'C:\DEMO' src >/dev/null 2>&1

# The task as the document shows it, between its markers.
task=$(sed -n '/<!-- ansible-task-begin -->/,/<!-- ansible-task-end -->/p' "$repo/docs/unattended.md" | sed '1,2d;$d' | sed '$d')
[ -n "$task" ] || { echo "no task found in docs/unattended.md" >&2; exit 1; }
{
  echo "- hosts: localhost"
  echo "  connection: local"
  echo "  gather_facts: false"
  echo "  vars:"
  echo "    installer: $work/demo-setup.run"
  echo "    dest: $work/installed"
  echo "  tasks:"
  # shellcheck disable=SC2001  # every line indented, which ${task//} cannot anchor
  sed 's/^/    /' <<<"$task"
} >playbook.yml

export ANSIBLE_LOCAL_TEMP=$work/ansible-tmp ANSIBLE_HOME=$work/ansible-home ANSIBLE_NOCOLOR=1
run() { ansible-playbook -i localhost, playbook.yml 2>&1 | tee -a log | grep -E '^localhost +:'; }
first=$(run) || { cat log >&2; exit 1; }
grep -q "changed=1 .*failed=0" <<<"$first" || { echo "first run: $first" >&2; cat log >&2; exit 1; }
cmp src/readme.txt installed/readme.txt
second=$(run) || { cat log >&2; exit 1; }
grep -q "changed=0 .*failed=0" <<<"$second" || { echo "second run: $second" >&2; cat log >&2; exit 1; }
echo "the task installed once and then left the installation alone"
