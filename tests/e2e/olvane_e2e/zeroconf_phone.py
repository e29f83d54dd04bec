"""A phone on the link: finds the agent's service by name with python3-zeroconf, pairs through
what it found, and prints that and the agent's replies as JSON. Run in its namespace:
    python3 -m olvane_e2e.zeroconf_phone <service name> <pairing code> <interface address>"""
import json
import sys

from zeroconf import IPVersion, Zeroconf

from .phone import Phone

name, code, interface = sys.argv[1:4]
zeroconf = Zeroconf(interfaces=[interface], ip_version=IPVersion.V4Only)
info = zeroconf.get_service_info("_olvane._tcp.local.", name + "._olvane._tcp.local.", 20000)
zeroconf.close()
phone = Phone(info.port, host=info.parsed_addresses()[0])
print(json.dumps({"address": info.parsed_addresses()[0], "port": info.port,
                  "hello": phone.request({"t": "hello"}), "pair": phone.pair(code)}))
phone.close()
