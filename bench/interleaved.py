#!/usr/bin/python3
# Interleaved timing of commands too short for the benchmark scripts' clock: each round
# runs every command once, and the best wall time (with the children's user and system
# time of that run) of N rounds is printed. "PRE ;; CMD" runs PRE untimed before CMD.
#
#   bench/interleaved.py 31 "rm -f a.tif ;; pageweaver-cli build -o a.tif ..." "cat ... > b"
import os
import sys
import time

rounds = int(sys.argv[1])
commands = sys.argv[2:]
best = [None] * len(commands)
for _ in range(rounds):
    for i, command in enumerate(commands):
        before, _, timed = command.rpartition(" ;; ")
        if before:
            os.system(before)
        start = time.perf_counter()
        pid = os.spawnvp(os.P_NOWAIT, "/bin/sh", ["/bin/sh", "-c", timed + " >/dev/null 2>&1"])
        _, status, usage = os.wait4(pid, 0)
        wall = (time.perf_counter() - start) * 1000
        if status:
            sys.exit(f"failed: {timed}")
        if best[i] is None or wall < best[i][0]:
            best[i] = (wall, usage.ru_utime * 1000, usage.ru_stime * 1000)
for command, (wall, user, system) in zip(commands, best):
    print(f"{wall:8.1f} ms wall {user:7.1f} user {system:7.1f} sys  {command.rpartition(' ;; ')[2]}")
