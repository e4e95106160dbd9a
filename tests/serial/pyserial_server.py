"""A network serial port served by python3-serial's RFC 2217 port manager.

Serves one connection on 127.0.0.1 (port printed on the first line of output). Behind it is
python3-serial's loop:// port: bytes come back as they were written and CTS follows RTS.
When the client has gone, prints the final baud rate and RTS state and exits.
Exit code 77 when python3-serial is missing.
"""
import socket
import sys
import threading

try:
    import serial
    from serial import rfc2217
except ImportError:
    sys.exit(77)


def main():
    port = serial.serial_for_url("loop://", timeout=0.05)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    listener.settimeout(30)
    print(listener.getsockname()[1], flush=True)
    conn, _ = listener.accept()
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    lock = threading.Lock()

    class Connection:
        def write(self, data):
            with lock:
                conn.sendall(data)

    manager = rfc2217.PortManager(port, Connection())
    alive = True

    def port_to_network():
        while alive:
            data = port.read(port.in_waiting or 1)
            if data:
                Connection().write(b"".join(manager.escape(data)))
            manager.check_modem_lines()

    reader = threading.Thread(target=port_to_network, daemon=True)
    reader.start()
    try:
        while True:
            data = conn.recv(1024)
            if not data:
                break
            port.write(b"".join(manager.filter(data)))
    except OSError:
        pass
    alive = False
    reader.join()
    print("baud", port.baudrate, "stopbits", port.stopbits, "bytesize", port.bytesize,
          flush=True)


if __name__ == "__main__":
    main()
