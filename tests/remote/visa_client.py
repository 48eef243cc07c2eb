#!/usr/bin/python3
"""A script as a user would write one with PyVISA, driving the panel's SCPI server.

Started by tst_remotepanel with the server's port. When it prints CLICK it waits for a line on
standard input: meanwhile the test clicks "Применить" in the window. It prints DONE at the end;
any failed check ends it with status 1 and the reason on standard error.
"""
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


def main():
    port = int(sys.argv[1])
    manager = pyvisa.ResourceManager("@py")
    panel = manager.open_resource(
        f"TCPIP::127.0.0.1::{port}::SOCKET",
        read_termination="\n",
        write_termination="\n",
        timeout=10000,
    )

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
