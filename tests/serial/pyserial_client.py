"""Opens a network serial port with python3-serial's rfc2217:// client and checks it.

Usage: pyserial_client.py URL. The device behind URL must echo what it gets and raise CTS
while RTS is on. Prints what failed; exit code 0 when all held, 1 otherwise, 77 when
python3-serial is missing.
"""
import sys

try:
    import serial
except ImportError:
    sys.exit(77)


def main():
    failures = []
    port = serial.serial_for_url(sys.argv[1], baudrate=19200, bytesize=8, parity="N",
                                 stopbits=2, timeout=5)
    port.rts = False
    if port.cts:
        failures.append("CTS on while RTS is off")
    port.rts = True
    # The notification of the new modem state follows the RTS answer.
    port.read(0)
    data = bytes(range(256)) * 2
    port.write(data)
    echoed = port.read(len(data))
    if echoed != data:
        failures.append("echo: got %d bytes, %r..." % (len(echoed), echoed[:16]))
    if not port.cts:
        failures.append("CTS off while RTS is on")
    port.close()
    for failure in failures:
        print(failure, flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
