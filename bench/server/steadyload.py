#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Sync requests at a fixed rate (open loop): each request has its slot on a schedule, and its
latency counts from that slot, so a stalled server cannot hide its stall by slowing the sender.
Prints one JSON line: requests, errors, rate reached, p50/p99/max latency in milliseconds."""

import argparse
import http.client
import json
import random
import threading
import time


def worker(args, index, start, results):
    connection = http.client.HTTPConnection(args.host, args.port, timeout=5)
    slot = index
    total = int(args.rate * args.seconds)
    while slot < total:
        due = start + slot / args.rate
        pause = due - time.monotonic()
        if pause > 0:
            time.sleep(pause)
        device = random.randrange(args.devices)
        body = json.dumps({"d": f"{device:08X}-5E1A-4C0B-9F00-{device:012X}", "v": "1.0.0",
                           "os": "debian 12", "c": "direct"})
        try:
            connection.request("POST", args.path, body, {"Content-Type": "application/json"})
            response = connection.getresponse()
            response.read()
            ok = response.status == 200
        except (OSError, http.client.HTTPException):
            connection.close()
            connection = http.client.HTTPConnection(args.host, args.port, timeout=5)
            ok = False
        results.append((time.monotonic() - due, ok))
        slot += args.threads


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--path", default="/api/veluna/sync")
    parser.add_argument("--rate", type=float, default=300)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--threads", type=int, default=16)
    parser.add_argument("--devices", type=int, default=200000)
    args = parser.parse_args()
    results = []
    start = time.monotonic() + 0.5
    threads = [threading.Thread(target=worker, args=(args, i, start, results))
               for i in range(args.threads)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - start
    latencies = sorted(latency for latency, _ in results)

    def percentile(share):
        return round(latencies[min(len(latencies) - 1, int(share * len(latencies)))] * 1000, 2)
    print(json.dumps({"requests": len(results), "errors": sum(not ok for _, ok in results),
                      "rate": round(len(results) / elapsed, 1), "p50_ms": percentile(0.50),
                      "p99_ms": percentile(0.99), "max_ms": percentile(1.0)}))


if __name__ == "__main__":
    main()
