// The page's controls for all 102 parameters, built from the instrument's own
// description (names, ranges, defaults, value names) in the panel's sections.
// A parameter with value names gets a menu, a whole-number one a stepper, any
// other a slider with its value beside it.

const UNIT_INDEXED = 1, UNIT_BOOLEAN = 2;

function formatValue(value, whole) {
    return whole ? String(Math.round(value)) : String(Math.round(value * 100) / 100);
}

export class ParameterControls {
    // `onChange(id, value)` is called when a person moves a control.
    constructor(container, description, onChange) {
        this.controls = new Map();
        for (const group of description.groups) {
            const fieldset = document.createElement('fieldset');
            fieldset.className = 'group';
            const legend = document.createElement('legend');
            legend.textContent = group.label;
            fieldset.append(legend);
            for (const id of group.ids) fieldset.append(this.row(description.parameters[id], onChange));
            container.append(fieldset);
        }
    }

    row(p, onChange) {
        const label = document.createElement('label');
        label.className = 'parameter';
        const name = document.createElement('span');
        name.className = 'name';
        name.textContent = p.name;
        name.title = `parameter ${p.id}: ${p.min} to ${p.max}, default ${p.default}`;
        label.append(name);
        const whole = p.unit === UNIT_INDEXED || p.unit === UNIT_BOOLEAN || p.valueNames.length > 0;
        let input, shown = null;
        if (p.valueNames.length > 0 || (whole && p.max - p.min <= 24)) {
            input = document.createElement('select');
            for (let v = p.min; v <= p.max; ++v) {
                const option = document.createElement('option');
                option.value = String(v);
                option.textContent = p.valueNames[v] !== undefined ? p.valueNames[v] : String(v);
                input.append(option);
            }
        } else {
            input = document.createElement('input');
            input.type = 'range';
            input.min = String(p.min);
            input.max = String(p.max);
            input.step = whole ? '1' : 'any';
            shown = document.createElement('output');
        }
        input.dataset.id = String(p.id);
        input.setAttribute('aria-label', p.name);
        input.addEventListener('input', () => {
            const value = Number(input.value);
            if (shown) shown.textContent = formatValue(value, whole);
            onChange(p.id, value);
            if (input.tagName === 'SELECT') input.blur(); // the keys play again
        });
        label.append(input);
        if (shown) label.append(shown);
        this.controls.set(p.id, { input, shown, whole });
        return label;
    }

    // Shows a value that came from elsewhere (a preset, a file, a script, MIDI).
    show(id, value) {
        const c = this.controls.get(id);
        if (!c) return;
        c.input.value = String(c.input.tagName === 'SELECT' ? Math.round(value) : value);
        if (c.shown) c.shown.textContent = formatValue(value, c.whole);
    }
}
