"""MEAS:VOLT? round trips through pyvisa (pyvisa-py) against kwd2ctl serve.

  pyvisa_clients.py PORT single COUNT        -> "mean_ms X" and "median_ms X" of COUNT queries
  pyvisa_clients.py PORT polling CLIENTS SECONDS
                                             -> "counts N1 N2 ..." queries per client process,
                                                all polling for the same SECONDS
"""
import multiprocessing
import statistics
import sys
import time

import pyvisa


def open_bridge(port):
    rm = pyvisa.ResourceManager("@py")
    r = rm.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET",
                         read_termination="\n", write_termination="\n", timeout=10000)
    return rm, r


def single(port, count):
    rm, r = open_bridge(port)
    for _ in range(50):
        r.query("MEAS:VOLT?")
    times = []
    for _ in range(count):
        start = time.perf_counter()
        r.query("MEAS:VOLT?")
        times.append(time.perf_counter() - start)
    r.close()
    rm.close()
    print(f"mean_ms {statistics.mean(times) * 1000:.4f}")
    print(f"median_ms {statistics.median(times) * 1000:.4f}")


def poller(port, barrier, seconds, results, index):
    rm, r = open_bridge(port)
    r.query("MEAS:VOLT?")
    barrier.wait()
    end = time.perf_counter() + seconds
    n = 0
    while time.perf_counter() < end:
        r.query("MEAS:VOLT?")
        n += 1
    results[index] = n
    r.close()
    rm.close()


def polling(port, clients, seconds):
    barrier = multiprocessing.Barrier(clients)
    results = multiprocessing.Array("l", clients)
    procs = [multiprocessing.Process(target=poller, args=(port, barrier, seconds, results, i))
             for i in range(clients)]
    for p in procs:
        p.start()
    for p in procs:
        p.join()
    print("counts " + " ".join(str(n) for n in results))


if __name__ == "__main__":
    port = int(sys.argv[1])
    if sys.argv[2] == "single":
        single(port, int(sys.argv[3]))
    else:
        polling(port, int(sys.argv[3]), float(sys.argv[4]))
