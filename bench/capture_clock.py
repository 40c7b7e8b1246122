"""Places the samples of a live capture of a sink's monitor on the monotonic clock.

Each chunk read is stamped on arrival, with the count of samples read so far.
A chunk can only arrive late, never early, so the earliest arrivals mark where
the samples stand; but the sink's clock need not run at exactly its nominal
rate against the machine's (a private PulseAudio null sink here runs some
460 ppm fast), and over a minute that alone moves the estimate by tens of
milliseconds. So the earliest arrival is taken in each few seconds of the
capture and a straight line is fitted through those: the sink's true rate and
where its first sample stood.
"""


class CaptureClock:
    def __init__(self, rate):
        self.rate = rate
        self.arrivals = []  # (monotonic seconds, samples so far)

    def arrived(self, now, count):
        self.arrivals.append((now, count))

    def placer(self, span=5.0):
        """A function from sample index to monotonic seconds."""
        if not self.arrivals:
            return None
        t0 = self.arrivals[0][0]
        lowest = {}
        for t, n in self.arrivals:
            k = int((t - t0) / span)
            off = t - n / self.rate
            if k not in lowest or off < lowest[k][1]:
                lowest[k] = (n, off)
        # The first span holds the capture's start, when arrivals bunch up.
        points = [lowest[k] for k in sorted(lowest)][1:] or list(lowest.values())
        if len(points) < 2:
            n, off = points[0]
            return lambda i: off + i / self.rate
        mn = sum(p[0] for p in points) / len(points)
        mo = sum(p[1] for p in points) / len(points)
        var = sum((p[0] - mn) ** 2 for p in points)
        slope = sum((p[0] - mn) * (p[1] - mo) for p in points) / var if var else 0.0
        # The line lies on the earliest arrivals: move it down to the lowest of them.
        base = min(p[1] - slope * (p[0] - mn) for p in points) - mo
        return lambda i: mo + base + slope * (i - mn) + i / self.rate

    def measured_rate(self):
        place = self.placer()
        if place is None or len(self.arrivals) < 2:
            return self.rate
        n = self.arrivals[-1][1]
        return n / (place(n) - place(0))
