"""kwd2ctl serve with a real VISA client (pyvisa over pyvisa-py) against kwd2sim."""
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

import pyvisa

KWD2CTL = sys.argv.pop(1)
KWD2SIM = sys.argv.pop(1)
NAN = "9.91E37"


def wait_for(predicate, seconds=10.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.01)
    raise AssertionError("timed out")


class Bench:
    """kwd2sim on a pseudo-terminal with kwd2ctl serve in front of it."""

    def __init__(self, *serve_args, listen="127.0.0.1:0", sim_args=()):
        self.dir = tempfile.TemporaryDirectory(prefix="kwd2scpi_")
        self.trace = os.path.join(self.dir.name, "trace")
        self.link = link = os.path.join(self.dir.name, "line")
        self.sim = subprocess.Popen(
            [KWD2SIM, "--link", link, "--trace", self.trace, "--device", "0", "--device", "3:ZEL-KWD2-V2",
             *sim_args],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.sim.stdout.readline()
        self.log_path = os.path.join(self.dir.name, "serve.err")
        self.log_file = open(self.log_path, "w")
        self.server = subprocess.Popen(
            [KWD2CTL, "-p", link, "--timeout", "0.2", "serve", "--listen", listen, *serve_args],
            stdout=subprocess.DEVNULL, stderr=self.log_file)
        self.port = int(wait_for(lambda: re.search(r" on \S+:(\d+)\n", self.log())).group(1))
        self.rm = pyvisa.ResourceManager("@py")
        self.opened = []

    def log(self):
        with open(self.log_path) as f:
            return f.read()

    def client(self):
        r = self.rm.open_resource(f"TCPIP::127.0.0.1::{self.port}::SOCKET",
                                  read_termination="\n", write_termination="\n", timeout=5000)
        self.opened.append(r)
        return r

    def host_bytes(self):
        """What kwd2ctl sent on the serial line so far."""
        with open(self.trace) as f:
            return bytes(int(line.split()[2], 16) for line in f if "host->sim" in line).decode()

    def device_bytes(self):
        with open(self.trace) as f:
            return bytes(int(line.split()[2], 16) for line in f if "sim->host" in line).decode()

    def close(self):
        for r in self.opened:
            try:
                r.close()
            except Exception:
                pass
        self.rm.close()
        for p in (self.server, self.sim):
            if p.poll() is None:
                p.terminate()
                p.wait(10)
        self.sim.stdout.close()
        self.log_file.close()
        self.dir.cleanup()


class Serve(unittest.TestCase):
    def setUp(self):
        self.bench = Bench()
        self.addCleanup(self.bench.close)

    def sent_by(self, action):
        before = len(self.bench.host_bytes())
        action()
        return self.bench.host_bytes()[before:]

    def test_identification_and_every_value_of_the_three_sets(self):
        k = self.bench.client()
        self.assertRegex(k.query("*IDN?"), r"^KWD2,kwd2ctl bridge,.*/line,\S+$")
        for n in (1, 2, 3):
            wire = self.sent_by(lambda: k.query(
                f"SOUR{n}:VOLT 12.5 V;CURR 250 MA;VOLT:TAU 500 MS;CURR:TAU 0.25;*OPC?"))
            tau_u, tau_i = {1: ("F1", "F3"), 2: ("F2", "F4"), 3: ("F5", "F6")}[n]
            self.assertEqual(wire, f"#0V{n}W12.5\r#0C{n}W250.0\r#0{tau_u}W0.500\r#0{tau_i}W0.250\r")
            self.assertEqual(k.query(f"SOUR{n}:VOLT?;CURR?;VOLT:TAU?;CURR:TAU?"), "12.5;0.25;0.5;0.25")
            wire = self.sent_by(lambda: self.assertEqual(
                k.query(f"SENS{n}:CURR:RANG {n + 1};RANG?;RANG:AUTO?"), f"{n + 1};0"))
            self.assertEqual(wire, f"#0M{n}W{n + 1}\r#0M{n}R\r#0M{n}R\r")
        k.write("PULS:WIDT 1500 ms")
        self.assertEqual(k.query("SOUR3:PULS:WIDT?"), "1.5")
        k.write("VOLT MAX;CURR MIN")
        self.assertEqual(k.query("VOLT?;CURR?;VOLT? MIN;CURR? MAX"), "250;0;0;6")
        self.assertEqual(k.query("SYST:ERR?"), '0,"No error"')

    def test_output_on_sends_exactly_start_and_measurements_are_the_devices(self):
        k = self.bench.client()
        k.write("VOLT 10;CURR 1")
        self.assertEqual(k.query("OUTP?"), "0")
        wire = self.sent_by(lambda: self.assertEqual(k.query("OUTP ON;OUTP?"), "1"))
        self.assertEqual(wire, "#0DF1\r")
        volts = float(k.query("MEAS:VOLT?"))
        amps = float(k.query("MEAS:CURR?"))
        replies = self.bench.device_bytes()
        device_volts = float(re.findall(r"#0V0R([-0-9.eE+]+)\r", replies)[-1])
        device_milliamps = float(re.findall(r"#0C0R([-0-9.eE+]+)\r", replies)[-1])
        self.assertEqual(volts, device_volts)
        self.assertAlmostEqual(amps, device_milliamps / 1000, places=12)
        self.assertIn("output on at bus address 0", self.bench.log())

    def test_errors_and_the_queue(self):
        k = self.bench.client()
        k.write("VOLT 300")
        k.write("SOUR4:VOLT 1")
        k.write("VOLT 5 A")
        self.assertEqual(k.query("SYST:ERR:COUN?"), "3")
        self.assertTrue(k.query("SYST:ERR?").startswith('-222,"Data out of range;'))
        self.assertEqual(k.query("SYST:ERR?"), '-114,"Header suffix out of range"')
        self.assertEqual(k.query("SYST:ERR?"), '-131,"Invalid suffix"')
        k.write("BOGUS?")  # answers nothing: the next answer is the next query's
        self.assertEqual(k.query("SYST:ERR?"), '-113,"Undefined header"')
        k.write("INST 7")
        self.assertEqual(k.query("MEAS:VOLT?"), NAN)
        self.assertRegex(k.query("SYST:ERR?"), r'^403078,"No answer from device"$')
        k.write("X" * 5000 + ";VOLT 1")
        self.assertEqual(k.query("SYST:ERR?"), '-363,"Input buffer overrun"')
        self.assertNotIn("#7V1W", self.bench.host_bytes())

    def test_two_clients_keep_their_own_address_and_queue(self):
        a, b = self.bench.client(), self.bench.client()
        b.write("INST 3")
        a.write("BOGUS")
        self.assertEqual(a.query("SYST:DEV:ID?"), '"ZEL-KWD2-V1.5"')
        self.assertEqual(b.query("SYST:DEV:ID?;:INST?"), '"ZEL-KWD2-V2";3')
        self.assertEqual(b.query("SYST:ERR?"), '0,"No error"')
        self.assertEqual(a.query("SYST:ERR?"), '-113,"Undefined header"')

    def test_ninth_client_is_refused_and_the_eight_still_work(self):
        clients = [self.bench.client() for _ in range(8)]
        for c in clients:
            self.assertEqual(c.query("*OPC?"), "1")
        ninth = socket.create_connection(("127.0.0.1", self.bench.port))
        ninth.settimeout(5)
        self.assertEqual(ninth.recv(16), b"")
        ninth.close()
        self.assertIn("refused: 8 clients already connected", self.bench.log())
        self.assertEqual(clients[7].query("*OPC?"), "1")

    def test_client_gone_mid_exchange_leaves_the_others_served(self):
        gone = socket.create_connection(("127.0.0.1", self.bench.port))
        gone.sendall(b"INST 7;MEAS:VOLT?;MEAS:CURR?\n")  # two time-outs on the line
        gone.close()
        k = self.bench.client()
        self.assertEqual(k.query("VOLT 2;VOLT?"), "2")
        wait_for(lambda: "disconnected" in self.bench.log())
        self.assertEqual(self.bench.server.poll(), None)

    def test_what_a_client_sent_before_closing_its_side_still_runs_and_is_answered(self):
        s = socket.create_connection(("127.0.0.1", self.bench.port))
        s.sendall(b"VOLT 3\r\n*IDN?")  # the last message ends with the input
        s.shutdown(socket.SHUT_WR)
        s.settimeout(5)
        answer = b""
        while chunk := s.recv(256):
            answer += chunk
        s.close()
        self.assertTrue(answer.startswith(b"KWD2,kwd2ctl bridge,"), answer)
        self.assertIn("#0V1W3.0\r", self.bench.host_bytes())

    def test_a_long_scan_does_not_hold_up_another_client(self):
        scanner = self.bench.client()
        other = self.bench.client()
        self.assertEqual(other.query("*OPC?"), "1")
        scanner.write("INST:CAT?")  # seven silent addresses: seven time-outs
        self.assertEqual(other.query("INST 3;:SYST:DEV:ID?"), '"ZEL-KWD2-V2"')
        self.assertNotIn("#8IDR\r", self.bench.host_bytes(), "answered between the scan's exchanges")
        self.assertEqual(scanner.read(), '"0,ZEL-KWD2-V1.5","3,ZEL-KWD2-V2"')

    def test_sigterm_ends_with_status_zero_and_leaves_the_output(self):
        k = self.bench.client()
        k.query("OUTP ON;*OPC?")
        before = self.bench.host_bytes()
        self.bench.server.send_signal(signal.SIGTERM)
        self.assertEqual(self.bench.server.wait(10), 0)
        self.assertEqual(self.bench.host_bytes(), before, "nothing sent while stopping")
        self.assertIn("stopping", self.bench.log())


class Options(unittest.TestCase):
    def start(self, *args, **kwargs):
        bench = Bench(*args, **kwargs)
        self.addCleanup(bench.close)
        return bench

    def test_read_only_refuses_writes_and_sends_nothing(self):
        bench = self.start("--read-only")
        k = bench.client()
        before = bench.host_bytes()
        k.write("VOLT 1;:OUTP ON")
        self.assertEqual(k.query("SYST:ERR?"), '-203,"Command protected"')
        self.assertEqual(k.query("VOLT?"), "0")
        self.assertEqual(bench.host_bytes()[len(before):], "#0V1R\r")

    def test_access_code_opens_the_calibration_registers(self):
        plain = self.start().client()
        plain.write('KWD2:REG "uist_v",1.5')
        self.assertTrue(plain.query("SYST:ERR?").startswith('-203,"Command protected'))
        bench = self.start("--access-code", "-p=Lomb7Quanxr")
        k = bench.client()
        k.write('KWD2:REG "uist_v",1.5')
        self.assertEqual(k.query('KWD2:REG? "uist_v";:SYST:ERR?'), '1.5;0,"No error"')
        self.assertIn("#003W1.500000\r", bench.host_bytes())

    def test_a_pulled_line_is_opened_again(self):
        bench = self.start(sim_args=("--replug-after", "0.3"))
        k = bench.client()
        self.assertEqual(k.query("VOLT 4;VOLT?"), "4")
        bench.sim.send_signal(signal.SIGUSR1)
        wait_for(lambda: not os.path.exists(bench.link))
        self.assertEqual(k.query("VOLT?"), NAN)
        wait_for(lambda: k.query("VOLT?") == "4")
        log = bench.log()
        self.assertIn("serial line lost", log)
        self.assertIn("serial line back", log)

    def test_other_addresses_than_loopback_are_warned_of(self):
        bench = self.start(listen="0.0.0.0:0")
        self.assertIn("anyone who can reach it can switch outputs", bench.log())
        self.assertNotIn("warning", self.start().log())


if __name__ == "__main__":
    unittest.main(verbosity=2)
