#!/usr/bin/python3
"""Times the IPP printer under Wine against CUPS's reference printer
(ippeveprinter, which only receives): a 20 KB and a 64 MiB PDF sent with
ipptool, in alternating pairs, each timed from ipptool's start to the print
received (the reference) or filed as a numbered PDF (ours). Then the
service's peak memory (the Wine process's VmHWM) after a run of jobs of
each size. Run by tools/bench, which starts the D-Bus and Avahi daemons
ippeveprinter needs.
  bench_ipp.py SERVICE_EXE OUT_FOLDER SCRATCH PORT
"""
import os
import signal
import statistics
import subprocess
import sys
import time

service_exe, out, scratch, port = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
reference_port = port + 1
SIZES = ((20 * 1024, '20 KB', 9), (64 * 1024 * 1024, '64 MiB', 5))


def make_pdf(path, size):
    """A valid one-page PDF of about `size` bytes: the page draws nothing,
    the rest is a stream of random bytes no page uses."""
    head = b'%PDF-1.4\n'
    filler = os.urandom(max(0, size - 600))
    objects = [b'<< /Type /Catalog /Pages 2 0 R >>', b'<< /Type /Pages /Kids [3 0 R] /Count 1 >>',
               b'<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>',
               b'<< /Length %d >>\nstream\n' % len(filler) + filler + b'\nendstream']
    body, offsets = head, []
    for number, text in enumerate(objects, 1):
        offsets.append(len(body))
        body += b'%d 0 obj\n' % number + text + b'\nendobj\n'
    xref = len(body)
    body += b'xref\n0 %d\n0000000000 65535 f \n' % (len(objects) + 1)
    body += b''.join(b'%010d 00000 n \n' % offset for offset in offsets)
    body += b'trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n' % (len(objects) + 1, xref)
    with open(path, 'wb') as f:
        f.write(body)
    return len(body)


def wait_listening(uri, seconds=30):
    end = time.time() + seconds
    while time.time() < end:
        if subprocess.run(['ipptool', uri, 'get-printer-attributes.test'], capture_output=True).returncode == 0:
            return True
        time.sleep(0.2)
    return False


def send(uri, pdf):
    return subprocess.run(['ipptool', '-f', pdf, '-d', 'filetype=application/pdf', uri, 'print-job.test'],
                          capture_output=True).returncode == 0


def wait_idle(uri, seconds=120):
    """ippeveprinter answers server-error-busy while it pretends to print the
    job before: each timed print starts with it idle."""
    test = os.path.join(scratch, 'idle.test')
    with open(test, 'w') as f:
        f.write('{\n OPERATION Get-Printer-Attributes\n GROUP operation-attributes-tag\n'
                ' ATTR charset attributes-charset utf-8\n ATTR naturalLanguage attributes-natural-language en\n'
                ' ATTR uri printer-uri $uri\n ATTR keyword requested-attributes printer-state\n'
                ' STATUS successful-ok\n EXPECT printer-state WITH-VALUE 3\n}\n')
    end = time.time() + seconds
    while time.time() < end:
        if subprocess.run(['ipptool', uri, test], capture_output=True).returncode == 0:
            return
        time.sleep(0.1)


def timed_reference(pdf):
    wait_idle('ipp://127.0.0.1:%d/ipp/print' % reference_port)
    start = time.perf_counter()
    ok = send('ipp://127.0.0.1:%d/ipp/print' % reference_port, pdf)
    return time.perf_counter() - start if ok else None


def timed_ours(pdf, size):
    # Neither printer works while the other is timed.
    wait_idle('ipp://127.0.0.1:%d/ipp/print' % reference_port)
    before = set(os.listdir(out))
    start = time.perf_counter()
    if not send('ipp://127.0.0.1:%d/ipp/print' % port, pdf):
        return None
    received.append(time.perf_counter() - start)
    while time.perf_counter() - start < 120:
        for name in set(os.listdir(out)) - before:
            path = os.path.join(out, name)
            if name.endswith('.pdf') and os.path.getsize(path) == size:
                return time.perf_counter() - start
        time.sleep(0.002)
    return None


received = []  # our side's times to the print received, as the reference's are


def start_service():
    process = subprocess.Popen(['wine', service_exe, 'run', '--port', str(port)], stdin=subprocess.PIPE,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not wait_listening('ipp://127.0.0.1:%d/ipp/print' % port):
        sys.exit('the IPP printer did not start')
    return process


def service_peak_kib():
    """The largest VmHWM among the Wine processes running the service."""
    peak = 0
    for pid in os.listdir('/proc'):
        try:
            with open('/proc/%s/cmdline' % pid, 'rb') as f:
                # Wine names the process by the Windows program it runs.
                if not f.read().split(b'\0')[0].endswith(b'TollivaneService.exe'):
                    continue
            with open('/proc/%s/status' % pid) as f:
                for line in f:
                    if line.startswith('VmHWM:'):
                        peak = max(peak, int(line.split()[1]))
        except OSError:
            pass
    return peak


def stop(process):
    process.stdin.close()
    try:
        process.wait(30)
    except subprocess.TimeoutExpired:
        process.kill()


def cell(times):
    ms = [t * 1000 for t in times]
    return '%.1f ms (%.1f-%.1f)' % (statistics.median(ms), min(ms), max(ms))


reference = subprocess.Popen(['ippeveprinter', '-p', str(reference_port), '-d', scratch, '-f', 'application/pdf',
                              'Bench Reference'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
try:
    if not wait_listening('ipp://127.0.0.1:%d/ipp/print' % reference_port):
        sys.exit('ippeveprinter did not start')
    print('The IPP printer (filed) against ippeveprinter (received only), ipptool as the client:'
          ' medians of alternating pairs')
    print('%-8s %-6s %-26s %-26s %s' % ('job', 'pairs', 'ippeveprinter', 'TollivaneService', 'ratio'))
    peaks = []
    for size, name, pairs in SIZES:
        pdf = os.path.join(scratch, 'bench-%d.pdf' % size)
        length = make_pdf(pdf, size)
        service = start_service()
        # One print each first, untimed: a desktop's printer is not cold.
        timed_reference(pdf)
        timed_ours(pdf, length)
        theirs, ours = [], []
        received.clear()
        for _ in range(pairs):
            theirs.append(timed_reference(pdf))
            ours.append(timed_ours(pdf, length))
            for kept in os.listdir(scratch):  # what ippeveprinter keeps
                if kept.endswith('.pdf') and not kept.startswith('bench-'):
                    os.remove(os.path.join(scratch, kept))
        peaks.append((name, service_peak_kib()))
        stop(service)
        if None in theirs or None in ours:
            print('%-8s a print failed: reference %s, ours %s' % (name, theirs, ours))
            continue
        print('%-8s %-6d %-26s %-26s %.2f' % (name, pairs, cell(theirs), cell(ours),
                                               statistics.median(ours) / statistics.median(theirs)))
        print('%-8s %-6s %-26s %-26s %.2f' % ('', '', '(received)', cell(received),
                                               statistics.median(received) / statistics.median(theirs)))
        os.remove(pdf)
    print()
    print('Peak memory of the IPP printer (VmHWM of its Wine process, KiB) after the jobs of each size')
    for name, peak in peaks:
        print('%-8s %d' % (name, peak))
finally:
    reference.send_signal(signal.SIGTERM)
    reference.wait()
