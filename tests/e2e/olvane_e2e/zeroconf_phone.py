"""A phone on another network: finds the agent with python3-zeroconf and pairs with it.

Run inside the phone's network namespace:
    python3 -m olvane_e2e.zeroconf_phone <service name> <pairing code> <interface address>
It prints one JSON object: the name, address and port it resolved, and the agent's replies.
"""
import json
import sys
import threading

from zeroconf import IPVersion, ServiceBrowser, ServiceStateChange, Zeroconf

from .phone import Phone

SERVICE_TYPE = "_olvane._tcp.local."


def resolve(name, interface, timeout=20.0):
    """Browses until a service called `name` shows up; returns (address, port)."""
    zc = Zeroconf(interfaces=[interface], ip_version=IPVersion.V4Only)
    found = {}
    done = threading.Event()

    def on_change(zeroconf, service_type, name, state_change):
        if state_change is not ServiceStateChange.Added or done.is_set():
            return
        info = zeroconf.get_service_info(service_type, name, timeout=5000)
        if info and info.name == "%s.%s" % (wanted, SERVICE_TYPE):
            found.update(name=info.name, address=info.parsed_addresses()[0], port=info.port)
            done.set()

    wanted = name
    browser = ServiceBrowser(zc, SERVICE_TYPE, handlers=[on_change])
    try:
        done.wait(timeout)
    finally:
        browser.cancel()
        zc.close()
    return found


def main():
    name, code, interface = sys.argv[1:4]
    found = resolve(name, interface)
    result = dict(found)
    if found:
        phone = Phone(found["port"], host=found["address"])
        try:
            result["hello"] = phone.request({"t": "hello"})
            result["pair"] = phone.pair(code)
        finally:
            phone.close()
    print(json.dumps(result))


if __name__ == "__main__":
    main()
