"""Bluetooth LE in the real agent: without BlueZ, and with a BlueZ on a kernel without Bluetooth."""
import errno
import socket
import unittest

from olvane_e2e import AgentTestCase
from olvane_e2e.bluez import FakeBluez
from olvane_e2e.dbus import DBusBus


def kernel_has_bluetooth():
    try:
        socket.socket(socket.AF_BLUETOOTH, socket.SOCK_SEQPACKET, socket.BTPROTO_L2CAP).close()
    except OSError as e:
        if e.errno == errno.EAFNOSUPPORT:
            return False
        raise
    return True


class BluetoothTest(AgentTestCase):
    def setUp(self):
        self.agent = self.make_agent()

    def test_without_bluez_bluetooth_is_off_and_the_network_serves(self):
        self.launch(self.agent)
        self.assertIn("BLE désactivé (BlueZ indisponible)", self.agent.log_lines())
        self.connect_phone(self.agent)

    @unittest.skipIf(kernel_has_bluetooth(), "this kernel has Bluetooth")
    def test_bluez_without_kernel_bluetooth_fails_to_publish_and_the_agent_runs_on(self):
        bus = self.started(DBusBus(self.agent.workdir, "system_bus"))
        bluez = self.started(FakeBluez(bus.address, powered=False))
        self.agent.extra_env["DBUS_SYSTEM_BUS_ADDRESS"] = bus.address
        self.launch(self.agent)
        self.assertNotIn("BLE désactivé (BlueZ indisponible)", self.agent.log_lines())

        # The radio comes on: the agent follows Powered and tries to publish.
        bluez.control().SetPowered(True)
        self.assertTrue(self.agent.wait_for_log("BLE powered on, publishing L2CAP channel"))
        self.assertTrue(self.agent.wait_for_log(
            "BLE publish L2CAP failed: L2CAP socket: Address family not supported by protocol"))
        self.assertNotIn("RegisterApplication", bluez.calls())
        self.connect_phone(self.agent)


if __name__ == "__main__":
    unittest.main()
