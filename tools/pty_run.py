#!/usr/bin/env python3
"""Runs a command on a fresh pseudo-terminal and answers its prompts as a user.

  pty_run.py ANSWERS_JSON -- COMMAND...

ANSWERS_JSON is a list of [prompt, answer, secret]: wait (at most 10 s) until the
output ends with `prompt`; when `secret` is true, wait until the terminal's echo
is off before typing; then type `answer` (null: end of input).  Prints one JSON
object: {"status", "output", "echo_off": [bool per answer, as it was typed]}.
"""
import json
import os
import pty
import select
import signal
import sys
import termios
import time


def read_some(fd, deadline):
    left = deadline - time.monotonic()
    if left <= 0 or not select.select([fd], [], [], left)[0]:
        return None
    try:
        return os.read(fd, 4096)
    except OSError:  # the child closed the terminal
        return b""


def wait_for_echo_off(fd, deadline):
    while termios.tcgetattr(fd)[3] & termios.ECHO:
        if time.monotonic() >= deadline:
            return False
        time.sleep(0.01)
    return True


def main():
    answers = json.loads(sys.argv[1])
    command = sys.argv[sys.argv.index("--") + 1:]
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)
    output = b""
    echo_off = []
    for prompt, answer, secret in answers:
        deadline = time.monotonic() + 10
        while not output.decode(errors="replace").endswith(prompt):
            chunk = read_some(fd, deadline)
            if not chunk:
                break
            output += chunk
        echo_off.append(wait_for_echo_off(fd, time.monotonic() + (2 if secret else 0)))
        os.write(fd, b"\x04" if answer is None else answer.encode() + b"\n")
    deadline = time.monotonic() + 60
    while True:
        chunk = read_some(fd, deadline)
        if not chunk:
            break
        output += chunk
    if time.monotonic() >= deadline:
        os.kill(pid, signal.SIGKILL)  # hung: bounded like every test
    _, status = os.waitpid(pid, 0)
    print(json.dumps({"status": os.waitstatus_to_exitcode(status),
                      "output": output.decode(errors="replace"), "echo_off": echo_off}))


main()
