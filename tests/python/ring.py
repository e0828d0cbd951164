"""Worker threads in a ring, shared by the soak and the concurrency test: each hands what it
made to the next one, which uses it and drops it, so that trees are released on other threads
than the ones that built them."""

import queue
import random
import threading
import time
import traceback


def run_ring(workers, seconds, one_round, receive=lambda t, item: None, others=()):
    """Thread t calls one_round(t, rng) until `seconds` pass or a thread fails, and hands the
    result to thread t + 1, which calls receive(t + 1, result); each of `others` runs as
    other(stop) on its own thread meanwhile. Returns (error reports, rounds per worker)."""
    inboxes = [queue.Queue() for _ in range(workers)]
    errors, rounds = [], [0] * workers
    stop = threading.Event()

    def drain(t):
        while True:
            try:
                item = inboxes[t].get_nowait()
            except queue.Empty:
                return
            receive(t, item)
            del item  # the last reference goes here

    def guarded(name, body):
        try:
            body()
        except BaseException:
            errors.append(f"{name}:\n{traceback.format_exc()}")
            stop.set()

    def worker(t):
        rng = random.Random(1000 + t)
        while not stop.is_set():
            drain(t)
            inboxes[(t + 1) % workers].put(one_round(t, rng))
            rounds[t] += 1

    threads = [threading.Thread(target=guarded, args=(f"worker {t}", lambda t=t: worker(t))) for t in range(workers)]
    threads += [threading.Thread(target=guarded, args=(f"other {i}", lambda o=o: o(stop))) for i, o in enumerate(others)]
    for thread in threads:
        thread.start()
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and not errors:
        time.sleep(0.02)
    stop.set()
    for thread in threads:
        thread.join(timeout=120)
        assert not thread.is_alive(), "a thread did not finish"
    for t in range(workers):  # what is still queued goes on this thread, which built none of it
        guarded("main", lambda t=t: drain(t))
    return errors, rounds
