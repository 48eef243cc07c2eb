#!/usr/bin/python3
"""A script as a user would write one with PyVISA, driving the panel's SCPI server.

Started by tst_remotepanel with the server's port. When it prints CLICK it waits for a line on
standard input: meanwhile the test clicks "Применить" in the window. It prints DONE at the end;
any failed check ends it with status 1 and the reason on standard error.

With "protections" after the port it reads and resets the energy counters and trips the
voltage protection instead; the panel's store caps the voltage setpoint at 15 V. It stops at
TRIPPED and at REFUSED for a line on standard input, while the test looks at the window.
"""
import re
import sys
import time

import pyvisa


def expect(what, got, wanted):
    if got != wanted:
        sys.exit(f"{what}: got {got!r}, wanted {wanted!r}")


def wait_for(what, condition, seconds=10):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            sys.exit(f"{what}: not within {seconds} s")
        time.sleep(0.05)


# A counter's answer: NR3 with at least six significant digits.
COUNT = re.compile(r"^[+-]?\d\.\d{5,}E[+-]\d+$")


def count(panel, query):
    answer = panel.query(query)
    if not COUNT.match(answer):
        sys.exit(f"{query} {answer!r}: not NR3 with six significant digits")
    return float(answer)


def counters(panel):
    return [count(panel, q) for q in ("FETC:CHAR?", "FETC:ENER?", "FETC:ONT?", "FETC:GAP?")]


def protections(panel):
    expect("no error at the start", panel.query("SYST:ERR?"), '0,"No error"')
    # Reset and read in one line: no status read can come between them.
    panel.write("SENS:ACC:RES;FETC:CHAR?;ENER?;ONT?;GAP?")
    zero = [panel.read() for _ in range(4)]
    expect("the counters after the reset", zero, ["0.000000000E+00"] * 4)

    # The cap in the store: refused with it said, and the setpoint left as it was.
    panel.write("VOLT 12;CURR 1.5")
    expect("*OPC? after the setpoints", panel.query("*OPC?"), "1")
    panel.write("VOLT 15.01")
    expect("the cap", panel.query("SYST:ERR?"), '-222,"Data out of range;cap 15.00 V"')
    expect("VOLT? after the cap", panel.query("VOLT?"), "12.00")

    panel.write("OUTP ON")
    expect("*OPC? after OUTP ON", panel.query("*OPC?"), "1")
    wait_for("output on in the status", lambda: panel.query("OUTP?") == "1")
    wait_for("12 V measured", lambda: abs(float(panel.query("MEAS:VOLT?")) - 12) < 0.05)
    wait_for("charge counted", lambda: counters(panel)[0] > 0)
    before = counters(panel)
    wait_for("every counted one grows", lambda: all(
        now > then for now, then in zip(counters(panel)[:3], before[:3])))
    charge, energy, on_time, gap = counters(panel)
    if abs(energy / charge - 12) > 0.1:
        sys.exit(f"{energy} W·h for {charge} A·h: not 12 V")
    if abs(charge * 3600 / on_time - 12 / 22) > 0.01:
        sys.exit(f"{charge} A·h in {on_time} s: not {12 / 22:.3f} A")
    if gap < 0:
        sys.exit(f"gap {gap} s")

    # No level yet: the trip cannot be switched on.
    expect("VOLT:PROT:STAT? at first", panel.query("VOLT:PROT:STAT?"), "0")
    panel.write("VOLT:PROT:STAT ON")
    expect("a trip without a level", panel.query("SYST:ERR?"),
           '-221,"Settings conflict;no protection level set"')
    expect("VOLT:PROT? MAX", panel.query("VOLT:PROT? MAX"), "60.00")
    panel.write("VOLT:PROT 65")
    expect("a level out of range", panel.query("SYST:ERR?"), '-222,"Data out of range"')

    # Below the output, no delay: the output goes off.
    panel.write("SOUR:VOLT:PROT:LEV 10 V;DEL 0;STAT ON")
    expect("VOLT:PROT?", panel.query("VOLT:PROT?"), "10.00")
    expect("VOLT:PROT:DEL?", panel.query("VOLT:PROT:DEL?"), "0.000")
    wait_for("output off by the trip", lambda: panel.query("OUTP?") == "0")
    expect("VOLT:PROT:TRIP?", panel.query("VOLT:PROT:TRIP?"), "1")
    expect("CURR:PROT:TRIP?", panel.query("CURR:PROT:TRIP?"), "0")
    expect("the OV bit", panel.query("STAT:QUES:COND?"), "1")
    told = panel.query("SYST:ERR?")
    if not re.match(r'^-300,"Device-specific error;OVP tripped: 1[12]\.\d\d V > 10\.00 V"$', told):
        sys.exit(f"the trip told: {told!r}")
    expect("one error for the trip", panel.query("SYST:ERR?"), '0,"No error"')
    print("TRIPPED", flush=True)
    sys.stdin.readline()

    panel.write("OUTP ON")
    expect("*OPC? after the refused OUTP ON", panel.query("*OPC?"), "1")
    expect("OUTP ON refused", panel.query("SYST:ERR?"),
           '-221,"Settings conflict;output protection tripped"')
    expect("OUTP? after the refusal", panel.query("OUTP?"), "0")
    print("REFUSED", flush=True)
    sys.stdin.readline()

    panel.write("VOLT:PROT 13;:OUTP:PROT:CLE")
    expect("VOLT:PROT:TRIP? cleared", panel.query("VOLT:PROT:TRIP?"), "0")
    expect("no bit cleared", panel.query("STAT:QUES:COND?"), "0")
    panel.write("OUTP 1")
    expect("*OPC? after OUTP 1", panel.query("*OPC?"), "1")
    wait_for("output on again", lambda: panel.query("OUTP?") == "1")
    expect("no error at the end", panel.query("SYST:ERR?"), '0,"No error"')
    panel.close()
    print("DONE", flush=True)


def main():
    port = int(sys.argv[1])
    manager = pyvisa.ResourceManager("@py")
    panel = manager.open_resource(
        f"TCPIP::127.0.0.1::{port}::SOCKET",
        read_termination="\n",
        write_termination="\n",
        timeout=10000,
    )
    if sys.argv[2:] == ["protections"]:
        protections(panel)
        return

    identity = panel.query("*IDN?").split(",")
    expect("*IDN? fields", len(identity), 4)
    expect("*IDN? maker", identity[0], "VORNEXcontrol")

    panel.write("VOLT 12")
    panel.write("sour:curr:lev:imm:ampl 1500 mA")
    expect("*OPC? after the setpoints", panel.query("*OPC?"), "1")
    expect("VOLT?", panel.query("VOLT?"), "12.00")
    expect("CURR?", panel.query("CURRent?"), "1.500")

    panel.write("OUTP ON")
    expect("*OPC? after OUTP ON", panel.query("*OPC?"), "1")
    wait_for("output on in the status", lambda: panel.query("OUTP?") == "1")
    wait_for("12 V measured", lambda: abs(float(panel.query("MEAS:VOLT?")) - 12) < 0.05)
    current = float(panel.query("MEASure:SCALar:CURRent:DC?"))
    if abs(current - 12 / 22) > 0.01:
        sys.exit(f"MEAS:CURR? {current} A, wanted about {12 / 22:.3f} A into 22 ohm")
    expect("constant voltage bit", int(panel.query("STAT:OPER:COND?")) & 3, 1)
    expect("no error so far", panel.query("SYST:ERR?"), '0,"No error"')

    panel.write("VOLT 31")
    panel.write("FOO:BAR 1")
    panel.write("VOLT")
    panel.write("OUTP MAYBE")
    panel.write("VOLT 5 A;MEAS:VOLT")
    errors = [panel.query("SYST:ERR:NEXT?") for _ in range(7)]
    expect("the error queue", errors, [
        '-222,"Data out of range"',
        '-113,"Undefined header"',
        '-109,"Missing parameter"',
        '-104,"Data type error"',
        '-131,"Invalid suffix"',
        '-113,"Undefined header"',
        '0,"No error"',
    ])
    expect("VOLT? after refused writes", panel.query("VOLT?"), "12.00")

    # Each write is done before the next command of this client runs.
    panel.write("VOLT 5;VOLT 6;VOLT 7")
    expect("*OPC? after three writes", panel.query("*OPC?"), "1")
    expect("VOLT? after *OPC?", panel.query("VOLT?"), "7.00")

    panel.write("VOLT 8")
    expect("*OPC? before the click", panel.query("*OPC?"), "1")
    print("CLICK", flush=True)
    sys.stdin.readline()
    panel.write("VOLT 10")
    expect("*OPC? after the click", panel.query("*OPC?"), "1")
    expect("VOLT? after the click", panel.query("VOLT?"), "10.00")
    expect("no error at the end", panel.query("SYST:ERR?"), '0,"No error"')
    panel.close()
    print("DONE", flush=True)


main()
