"""Bluetooth LE in the real agent: without BlueZ, and with a BlueZ on a kernel without Bluetooth."""
import socket
import subprocess
import unittest

from olvane_e2e import AgentTestCase
from olvane_e2e.dbus import DBusBus


def kernel_has_bluetooth():
    try:
        socket.socket(socket.AF_BLUETOOTH, socket.SOCK_SEQPACKET, socket.BTPROTO_L2CAP).close()
        return True
    except OSError:
        return False


class BluetoothTest(AgentTestCase):
    def test_without_bluez_bluetooth_is_off_and_the_network_serves(self):
        agent = self.start_agent()
        self.assertIn("BLE désactivé (BlueZ indisponible)", agent.log_lines())
        self.connect_phone(agent)

    @unittest.skipIf(kernel_has_bluetooth(), "this kernel has Bluetooth")
    def test_bluez_without_kernel_bluetooth_fails_to_publish_and_the_agent_runs_on(self):
        agent = self.make_agent()
        bus = self.started(DBusBus(agent.workdir, "system_bus"))
        bluez = subprocess.Popen(["/usr/bin/python3", "-m", "olvane_e2e.fake_bluez",
                                  "--address", bus.address], stdout=subprocess.PIPE, text=True)
        self.addCleanup(bluez.communicate)
        self.addCleanup(bluez.terminate)
        self.assertEqual(bluez.stdout.readline().strip(), "ready")
        agent.extra_env["DBUS_SYSTEM_BUS_ADDRESS"] = bus.address
        self.launch(agent)
        self.assertTrue(agent.wait_for_log(
            "BLE publish L2CAP failed: L2CAP socket: Address family not supported by protocol"))
        self.connect_phone(agent)


if __name__ == "__main__":
    unittest.main()
